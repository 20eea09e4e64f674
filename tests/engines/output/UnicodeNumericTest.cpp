#include "engines/output/UnicodeNumeric.h"

#include <gtest/gtest.h>
#include <string_view>

namespace quillmorph {
namespace {

TEST(UnicodeNumeric, KnowsNumbersOfEveryKind) {
    struct Row {
        char32_t codePoint;
        bool numeric;
    };
    const Row rows[] = {
        {U'0', true},           {U'9', true},  {U'/', false},
        {U':', false},          {U'a', false}, {U'\u0663', true}, // Arabic-Indic three
        {U'\uFF10', true},                                        // fullwidth zero
        {U'\uFF1A', false},                                       // fullwidth colon
        {U'\u00BD', true},                                        // vulgar fraction one half
        {U'\u2160', true},                                        // Roman numeral one
        {U'\u4E09', true},                                        // Han numeral three
        {U'\u4E0A', false},                                       // Han "above"
        {U'\U0001D7CE', true},                                    // mathematical bold digit zero
        {U'\U0010FFFF', false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(std::uint32_t(row.codePoint)));
        EXPECT_EQ(UnicodeNumeric::isNumeric(row.codePoint), row.numeric);
    }
}

TEST(UnicodeNumeric, TextIsNumericOnlyWhenWellFormedAndNumericThroughout) {
    struct Row {
        std::string_view text;
        bool numeric;
    };
    const Row rows[] = {
        {"1", true},
        {"\xD9\xA3\xD9\xA4", true}, // Arabic-Indic 34
        {"1\xC2\xBD", true},        // 1½
        {"", false},
        {"12a", false},
        {"\xC2", false},         // cut-off sequence
        {"\xC0\xB0", false},     // overlong '0'
        {"\xED\xA0\x80", false}, // surrogate
        {"\xB0", false},         // stray continuation byte
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(UnicodeNumeric::isNumericText(row.text), row.numeric);
    }
}

} // namespace
} // namespace quillmorph
