#include "common/Phrase.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillmorph {
namespace {

TEST(Phrase, CatalogueHas166DistinctKeysInOrder) {
    auto phrases = allCases<Phrase>();
    ASSERT_EQ(phrases.size(), 166u);
    std::set<std::string_view> keys;
    for (Phrase phrase : phrases)
        keys.insert(toString(phrase));
    EXPECT_EQ(keys.size(), 166u);

    struct Row {
        std::size_t index;
        std::string_view key;
    };
    // The first and last key of every group of the catalogue.
    const Row rows[] = {{0, "menu.images"},          {12, "menu.pdfs"},
                        {13, "common.cancel"},       {17, "common.unavailable"},
                        {18, "label.format"},        {25, "label.frameRate"},
                        {26, "format.jpg.detail"},   {31, "codec.hevc.detail"},
                        {32, "preset.original.name"}, {47, "preset.x.detail"},
                        {48, "image.count"},         {62, "video.destination"},
                        {63, "label.poster"},        {68, "error.poster.frame"},
                        {69, "lock.lockedHelp"},     {75, "window.compressPdf"},
                        {76, "progress.images"},     {80, "progress.itemCount"},
                        {81, "error.image.unreadable"}, {89, "error.video.cancelled"},
                        {90, "notify.failedTitle"},  {97, "notify.videoCancelled"},
                        {98, "setup.intro"},         {120, "setup.language"},
                        {121, "update.checking"},    {126, "update.enabled"},
                        {127, "error.video.hdrNeedsFfmpeg"}, {132, "video.hdrHelpNative"},
                        {133, "window.compressAudio"}, {137, "label.bitrate"},
                        {138, "audio.count"},        {150, "audio.stripTags"},
                        {151, "error.audio.needsFfmpeg"}, {154, "error.audio.encoding"},
                        {155, "pdf.count"},          {163, "pdf.optimize"},
                        {164, "error.pdf.unreadable"}, {165, "error.pdf.encoding"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(toString(phrases[row.index]), row.key);
    }
}

TEST(Phrase, KeysConvertBackAndOtherTextsGiveNothing) {
    for (Phrase phrase : allCases<Phrase>())
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
