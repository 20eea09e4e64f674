#include "engines/video/VideoEstimate.h"

#include "common/Localization.h"
#include "engines/video/VideoEngineError.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

const VideoInfo tenSeconds{.width = 1920, .height = 1080, .duration = 10, .codec = "h264", .hasAudio = true};

TEST(VideoEstimate, MatchesPresetsIgnoringAudioSwitchAndContainer) {
    std::vector<VideoPreset> presets = VideoPreset::all();
    EXPECT_EQ(VideoEstimate::applying(presets.front(), {}), VideoSettings{})
        << "the defaults are the first preset";
    for (const VideoPreset& preset : presets) {
        SCOPED_TRACE(preset.id);
        VideoSettings settings =
            VideoEstimate::applying(preset, {.includeAudio = false, .container = VideoContainer::webm});
        EXPECT_EQ(settings.container, VideoContainer::webm) << "kept";
        EXPECT_TRUE(settings.includeAudio) << "a preset turns audio on";
        settings.includeAudio = false;
        ASSERT_TRUE(VideoEstimate::matchedPreset(settings));
        EXPECT_EQ(VideoEstimate::matchedPreset(settings)->id, preset.id);
    }

    VideoSettings web720 = VideoEstimate::applying(presets[2], {});
    web720.videoBitrate = 4500;
    EXPECT_EQ(VideoEstimate::matchedPreset(web720), std::nullopt) << "4500 with a 30 fps cap matches no row";
    web720.frameRateCap = std::nullopt;
    web720.sizing = FrameSizing::fit(1920, 1080);
    web720.audioBitrate = 128;
    EXPECT_EQ(VideoEstimate::matchedPreset(web720)->id, "web-1080") << "set back to a row's values by hand";
}

TEST(VideoEstimate, Texts) {
    Localization::setLanguage("en");
    testing::TemporaryDirectory folder;
    testing::writeFile(folder / "clip.mov", "x");
    testing::writeFile(folder / "clip-converted.mp4", "taken");
    VideoInfo info = tenSeconds;
    info.duration = 125;

    EXPECT_EQ(VideoEstimate::title({folder / "clip.mov"}), "clip.mov");
    EXPECT_EQ(VideoEstimate::title({"a.mp4", "b.mp4", "c.mp4"}), "3 videos");
    EXPECT_EQ(VideoEstimate::subtitle(info, 12'300'000), "1920×1080 · 2m 5s · H264 · 12.3 MB");
    EXPECT_EQ(VideoEstimate::destinationLine({folder / "clip.mov"}, VideoContainer::mp4),
              "clip-converted-1.mp4");
    EXPECT_EQ(VideoEstimate::destinationLine({folder / "clip.mov"}, VideoContainer::webm),
              "clip-converted.webm");
    EXPECT_EQ(VideoEstimate::destinationLine({"a.mp4", "b.mp4"}, VideoContainer::mp4),
              "Next to each video · estimate based on the first");
    EXPECT_EQ(VideoEstimate::estimatedBytes(VideoSettings{}, tenSeconds, 3), 23'684'400)
        << "the first stands for all";
    EXPECT_EQ(describe(VideoEngineError::encodeFailed("/v/holiday clip.mov", "Unknown encoder 'libx264'")),
              "Unknown encoder 'libx264'");
    EXPECT_EQ(describe(VideoEngineError::encodingFailed("/v/holiday clip.mov", "")),
              "Could not compress “holiday clip.mov”.");
}

} // namespace
} // namespace quillmorph
