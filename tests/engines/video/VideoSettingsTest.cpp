#include "engines/video/VideoSettings.h"

#include "common/Localization.h"
#include "engines/video/VideoEngineError.h"
#include "engines/video/VideoEstimate.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <clocale>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

using Arguments = std::vector<std::string>;

const VideoInfo silentFullHD{
    .width = 1920, .height = 1080, .duration = 10, .frameRate = 30000.0 / 1001, .codec = "h264"};
const VideoInfo fullHD = [] {
    VideoInfo info = silentFullHD;
    info.hasAudio = true;
    return info;
}();

VideoSettings preset(std::string_view id) {
    std::vector<VideoPreset> all = VideoPreset::all();
    return VideoEstimate::applying(*std::ranges::find(all, id, &VideoPreset::id), {});
}

TEST(VideoSettings, FilterChainPerSourceAndSettings) {
    auto source = [](std::int64_t width, std::int64_t height, double rate, bool hdr = false) {
        return VideoInfo{.width = width, .height = height, .frameRate = rate, .isHDR = hdr};
    };
    const std::tuple<const char*, VideoInfo, VideoSettings, const char*> rows[] = {
        {"fit scales", fullHD, preset("web-720"), "scale=1280:720:flags=bicubic,format=yuv420p"},
        {"exact crops without scaling", fullHD, preset("reels"), "crop=608:1080,format=yuv420p"},
        {"exact scales to cover, then crops", source(3840, 2160, 30), preset("reels"),
         "scale=3414:1920:flags=bicubic,crop=1080:1920,format=yuv420p"},
        {"odd sizes become even", source(1921, 1081, 30), {}, "scale=1922:1082:flags=bicubic,format=yuv420p"},
        {"a fractional cap, whatever the locale's decimal mark",
         source(640, 360, 60),
         {.frameRateCap = 30000.0 / 1001},
         "fps=29.970,format=yuv420p"},
        {"a rate within 0.01 of the cap", source(640, 360, 30.005), preset("web-720"), "format=yuv420p"},
        {"HDR is tone-mapped before anything else", source(3840, 2160, 60, true), preset("web-1080"),
         "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
         "zscale=t=bt709:m=bt709:r=tv,scale=1920:1080:flags=bicubic,format=yuv420p"},
    };
    // Numbers under the environment's locale, as Qt sets it: the suite runs under a decimal comma.
    std::setlocale(LC_NUMERIC, "");
    for (const auto& [name, info, settings, chain] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(settings.filterChain(info), chain);
    }
    std::setlocale(LC_NUMERIC, "C");
}

// The first WebM pass only gathers statistics; no audio wanted is the same command as none there.
TEST(VideoSettings, ArgumentsPerPassAndAudio) {
    const VideoSettings webm{.container = VideoContainer::webm};
    Arguments first = webm.arguments("in.mp4", "out.webm", fullHD, 1, "/tmp/passes/pass-1");
    EXPECT_EQ(std::ranges::count(first, "0:a:0"), 0);
    EXPECT_EQ(Arguments(first.end() - 4, first.end()), (Arguments{"-an", "-f", "null", "/dev/null"}));
    EXPECT_EQ(
        (VideoSettings{.includeAudio = false}).arguments("in", "out.mp4", fullHD, std::nullopt, std::nullopt),
        VideoSettings{}.arguments("in", "out.mp4", silentFullHD, std::nullopt, std::nullopt));
}

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
}

TEST(VideoEstimate, Texts) {
    Localization::setLanguage("en");
    testing::TemporaryDirectory folder;
    testing::writeFile(folder / "clip-converted.mp4", "taken");
    VideoInfo info = fullHD;
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
    // Bit rates over the duration plus 2 %; the first video stands for all.
    EXPECT_EQ(VideoEstimate::estimatedBytes(VideoSettings{}, fullHD, 3), 23'684'400);
    EXPECT_EQ(VideoEstimate::estimatedBytes(VideoSettings{}, silentFullHD, 1), 7'650'000)
        << "audio wanted, none there";
    EXPECT_EQ(VideoEstimate::estimatedBytes({.includeAudio = false}, fullHD, 1), 7'650'000);
    EXPECT_EQ(VideoEstimate::estimatedBytes({}, {.hasAudio = true}, 1), 0) << "no duration";
    EXPECT_EQ(describe(VideoEngineError::encodingFailed("/v/holiday clip.mov", "")),
              "Could not compress “holiday clip.mov”.");
}

TEST(VideoInfo, DurationLabelRoundsToWholeSecondsInTheLanguageShown) {
    const std::tuple<const char*, double, const char*> rows[] = {
        {"en", 0, "0s"},        {"en", 59.4, "59s"},          {"en", 59.5, "1m 0s"},
        {"en", 3725, "62m 5s"}, {"de", 90, "1 Min. 30 Sek."},
    };
    for (auto [language, duration, label] : rows) {
        SCOPED_TRACE(duration);
        Localization::setLanguage(language);
        EXPECT_EQ((VideoInfo{.duration = duration}).durationLabel(), label);
    }
}

} // namespace
} // namespace quillmorph
