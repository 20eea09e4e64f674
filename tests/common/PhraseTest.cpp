#include "common/Phrase.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillmorph {
namespace {

TEST(Phrase, CatalogueHas166DistinctKeysThatConvertBack) {
    auto phrases = allCases<Phrase>();
    ASSERT_EQ(phrases.size(), 166u);
    std::set<std::string_view> keys;
    for (Phrase phrase : phrases)
        keys.insert(toString(phrase));
    EXPECT_EQ(keys.size(), 166u);
    for (Phrase phrase : phrases)
        EXPECT_EQ(fromString<Phrase>(toString(phrase)), phrase);
    for (std::string_view text : {"Menu.images", "menu.images ", "", "menu", "setup.step6"})
        EXPECT_FALSE(fromString<Phrase>(text)) << text;
}

TEST(Phrase, IndexedGroupsFollowTheirFirstKey) {
    EXPECT_EQ(toString(phraseAfter(Phrase::audioFormatMp3Detail, 5)), "audio.format.aiff.detail");
    EXPECT_EQ(toString(phraseAfter(Phrase::pdfResolutionHigh, 2)), "pdf.resolution.low");
    static_assert(sizeof(Phrase) == 1);
}

} // namespace
} // namespace quillmorph
