#include "common/ByteCount.h"

#include "common/Localization.h"
#include "common/NumberText.h"

#include <clocale>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(ByteCount, FormatsInDecimalFileUnitsInTheLanguageShown) {
    struct Row {
        const char* language;
        std::int64_t bytes;
        const char* text;
    };
    const Row rows[] = {{"en", 0, "Zero KB"},           {"en", 1, "1 byte"},
                        {"en", 999, "999 bytes"},       {"en", 1000, "1 KB"},
                        {"en", 999499, "999 KB"},       {"en", 999999, "1 MB"},
                        {"en", 12345678, "12.3 MB"},    {"en", 1250000000, "1.25 GB"},
                        {"en", -2000000, "-2 MB"},      {"en", INT64_MAX, "9223.37 PB"},
                        {"de", 0, "Null KB"},           {"de", 512, "512 Byte"},
                        {"de", 1500000, "1,5 MB"},      {"de", 2000000, "2 MB"},
                        {"de", 1203000000, "1,2 GB"},   {"fr", 1, "1 octet"},
                        {"fr", 12345678, "12,3 Mo"},    {"it", 2, "2 byte"},
                        {"es", -1250000000, "-1,25 GB"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.language) + " " + std::to_string(row.bytes));
        Localization::setLanguage(row.language);
        EXPECT_EQ(formatByteCount(row.bytes), row.text);
    }
}

// The suite runs under a decimal-comma locale; this also holds when it is set in-process, as Qt does.
TEST(NumberText, WritesAPointWhateverTheLocale) {
    ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8")) << "the de_DE.UTF-8 locale must be generated";
    EXPECT_EQ(NumberText::fixed(30, 3), "30.000");
    EXPECT_EQ(NumberText::fixed(1e20, 0), "100000000000000000000");
    EXPECT_EQ(NumberText::general(12.5), "12.5");
    EXPECT_EQ(NumberText::general(1234567), "1.23457e+06");
    std::setlocale(LC_ALL, "C");
}

} // namespace
} // namespace quillmorph
