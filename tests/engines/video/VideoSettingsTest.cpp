#include "engines/video/VideoSettings.h"

#include "engines/video/VideoPreset.h"
#include "tests/engines/video/Clips.h"

#include <algorithm>
#include <clocale>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

using Arguments = std::vector<std::string>;

const VideoInfo fullHD{
    .width = 1920, .height = 1080, .duration = 10, .frameRate = 30000.0 / 1001, .hasAudio = true};

VideoSettings preset(std::string_view id) {
    for (const VideoPreset& row : VideoPreset::all()) {
        if (row.id == id)
            return {.sizing = row.sizing,
                    .videoBitrate = row.videoBitrate,
                    .frameRateCap = row.frameRateCap,
                    .audioBitrate = row.audioBitrate,
                    .codec = row.codec};
    }
    ADD_FAILURE() << "no preset " << id;
    return {};
}

// The value after `option`, or "(none)".
std::string after(const Arguments& arguments, std::string_view option) {
    auto found = std::ranges::find(arguments, option);
    return found == arguments.end() || found + 1 == arguments.end() ? "(none)" : *(found + 1);
}

TEST(VideoSettings, FilterChainPerSourceAndSettings) {
    struct Row {
        const char* name;
        VideoInfo info;
        VideoSettings settings;
        const char* chain;
    };
    const Row rows[] = {
        {"fit scales", fullHD, preset("web-720"), "scale=1280:720:flags=bicubic,format=yuv420p"},
        {"exact crops without scaling", fullHD, preset("reels"), "crop=608:1080,format=yuv420p"},
        {"exact scales to cover, then crops",
         {.width = 3840, .height = 2160, .frameRate = 30},
         preset("reels"),
         "scale=3414:1920:flags=bicubic,crop=1080:1920,format=yuv420p"},
        {"odd sizes become even",
         {.width = 1921, .height = 1081, .frameRate = 30},
         VideoSettings{},
         "scale=1922:1082:flags=bicubic,format=yuv420p"},
        {"a cap below the source rate",
         {.width = 640, .height = 360, .frameRate = 60},
         preset("web-720"),
         "fps=30.000,format=yuv420p"},
        {"a fractional cap, whatever the locale's decimal mark",
         {.width = 640, .height = 360, .frameRate = 60},
         VideoSettings{.frameRateCap = 30000.0 / 1001},
         "fps=29.970,format=yuv420p"},
        {"a rate within 0.01 of the cap",
         {.width = 640, .height = 360, .frameRate = 30.005},
         preset("web-720"),
         "format=yuv420p"},
        {"HDR is tone-mapped before anything else",
         {.width = 3840, .height = 2160, .frameRate = 60, .isHDR = true},
         preset("web-1080"),
         "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
         "zscale=t=bt709:m=bt709:r=tv,scale=1920:1080:flags=bicubic,format=yuv420p"},
    };
    // Numbers under the environment's locale, as Qt sets it: the suite runs under a decimal comma.
    std::setlocale(LC_NUMERIC, "");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.settings.filterChain(row.info), row.chain);
    }
    std::setlocale(LC_NUMERIC, "C");
}

// The first WebM pass gathers statistics only; audio left out is the same command as audio wanted
// from a source without any.
TEST(VideoSettings, ArgumentsPerPassAndAudio) {
    const VideoSettings webm{.container = VideoContainer::webm};
    Arguments first = webm.arguments("in.mp4", "out.webm", fullHD, 1, "/tmp/passes/pass-1");
    EXPECT_EQ(std::ranges::count(first, "0:a:0"), 0);
    EXPECT_EQ(after(first, "-passlogfile"), "/tmp/passes/pass-1");
    EXPECT_EQ(Arguments(first.end() - 4, first.end()), (Arguments{"-an", "-f", "null", "/dev/null"}));
    EXPECT_EQ(after(webm.arguments("in.mp4", "out.webm", fullHD, 2, "/tmp/passes/pass-1"), "-c:a"),
              "libopus");
    VideoInfo silent = fullHD;
    silent.hasAudio = false;
    EXPECT_EQ(
        (VideoSettings{.includeAudio = false}).arguments("in", "out.mp4", fullHD, std::nullopt, std::nullopt),
        VideoSettings{}.arguments("in", "out.mp4", silent, std::nullopt, std::nullopt));
}

TEST(VideoSettings, EstimatesBitRateTimesDurationPlusContainerOverhead) {
    VideoInfo silent = fullHD;
    silent.hasAudio = false;
    EXPECT_EQ(VideoSettings{}.estimatedBytes(fullHD), 7'894'800);
    EXPECT_EQ(VideoSettings{}.estimatedBytes(silent), 7'650'000) << "audio wanted, none there";
    EXPECT_EQ((VideoSettings{.includeAudio = false}).estimatedBytes(fullHD), 7'650'000);
    EXPECT_EQ(VideoSettings{}.estimatedBytes(VideoInfo{.hasAudio = true}), 0) << "no duration";
}

} // namespace
} // namespace quillmorph
