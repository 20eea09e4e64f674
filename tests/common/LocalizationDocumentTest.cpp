// The phrase keys, and the language document the deliverables ship.
#include "common/Localization.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace quillmorph {
namespace {

std::set<std::string> placeholders(const std::string& text) {
    static const std::regex placeholder(R"(\{([^{}]*)\})");
    std::set<std::string> names;
    for (std::sregex_iterator match(text.begin(), text.end(), placeholder), end; match != end; ++match)
        names.insert((*match)[1].str());
    return names;
}

// The callers fill the placeholders of the fallback text, so every language uses exactly those.
TEST(LocalizationDocument, EveryPhraseHasATextInEveryLanguageWithTheFallbackPlaceholders) {
    ASSERT_TRUE(Localization::document()) << "Localizations.json is missing or malformed";
    EXPECT_EQ(Localization::languages().size(), 5u);
    // French sets ; : ? ! and » after a no-break space, and « before one.
    const std::regex frenchSpacing("( [;:?!]| »|« |[A-Za-z][;:?!])");
    for (Phrase phrase : allCases<Phrase>()) {
        SCOPED_TRACE(std::string(toString(phrase)));
        auto row = Localization::table().find(toString(phrase));
        ASSERT_NE(row, Localization::table().end());
        ASSERT_TRUE(row->second.contains(Localization::fallback()));
        const auto expected = placeholders(row->second.at(Localization::fallback()));
        for (const Language& language : Localization::languages()) {
            SCOPED_TRACE(language.code);
            auto text = row->second.find(language.code);
            ASSERT_NE(text, row->second.end());
            EXPECT_FALSE(text->second.empty());
            EXPECT_EQ(placeholders(text->second), expected);
            if (language.code == "fr")
                EXPECT_FALSE(std::regex_search(text->second, frenchSpacing)) << text->second;
        }
    }
}

TEST(Phrase, KeysConvertBackAndIndexedGroupsFollowTheirFirstKey) {
    for (Phrase phrase : allCases<Phrase>())
        EXPECT_EQ(fromString<Phrase>(toString(phrase)), phrase) << "a key given twice: " << toString(phrase);
    for (std::string_view text : {"Menu.images", "menu.images ", "", "menu", "setup.step6"})
        EXPECT_FALSE(fromString<Phrase>(text)) << text;
    EXPECT_EQ(toString(phraseAfter(Phrase::audioFormatMp3Detail, 5)), "audio.format.aiff.detail");
    EXPECT_EQ(toString(phraseAfter(Phrase::pdfResolutionHigh, 2)), "pdf.resolution.low");
    static_assert(sizeof(Phrase) == 1);
}

} // namespace
} // namespace quillmorph
