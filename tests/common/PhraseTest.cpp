#include "common/Phrase.h"

#include <gtest/gtest.h>
#include <string>

namespace quillmorph {
namespace {

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
