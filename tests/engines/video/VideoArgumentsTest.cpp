#include "engines/video/VideoPreset.h"
#include "engines/video/VideoSettings.h"

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

Arguments head(const char* input) {
    return {"-hide_banner", "-nostdin", "-y", "-loglevel", "error", "-progress",
            "pipe:1",       "-nostats", "-i", input,       "-map",  "0:v:0"};
}

Arguments joined(Arguments first, const Arguments& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.settings.filterChain(row.info), row.chain);
    }
}

TEST(VideoSettings, ArgumentsForMP4) {
    struct Row {
        const char* name;
        VideoInfo info;
        VideoSettings settings;
        Arguments tail; // after the head
    };
    VideoInfo silent = fullHD;
    silent.hasAudio = false;
    const Row rows[] = {
        {"original, H.264 with audio",
         fullHD,
         VideoSettings{},
         {"-map",      "0:a:0",      "-map_metadata",
          "-1",        "-vf",        "format=yuv420p",
          "-c:v",      "libx264",    "-preset",
          "medium",    "-b:v",       "6000k",
          "-maxrate",  "8700k",      "-bufsize",
          "12000k",    "-profile:v", "high",
          "-c:a",      "aac",        "-b:a",
          "192k",      "-ac",        "2",
          "-movflags", "+faststart", "/out/clip-converted.mp4"}},
        {"HEVC", fullHD, VideoSettings{.videoBitrate = 2000, .audioBitrate = 96, .codec = VideoCodec::hevc},
         joined({"-map", "0:a:0", "-map_metadata", "-1", "-vf", "format=yuv420p", "-c:v", "libx265",
                 "-preset", "medium", "-x265-params", "log-level=error", "-b:v", "2000k", "-maxrate",
                 "2900k"},
                {"-bufsize", "4000k", "-tag:v", "hvc1", "-c:a", "aac", "-b:a", "96k", "-ac", "2", "-movflags",
                 "+faststart", "/out/clip-converted.mp4"})},
        {"audio wanted, none there",
         silent,
         preset("web-720"),
         {"-map_metadata", "-1",        "-vf",        "scale=1280:720:flags=bicubic,format=yuv420p",
          "-c:v",          "libx264",   "-preset",    "medium",
          "-b:v",          "2000k",     "-maxrate",   "2900k",
          "-bufsize",      "4000k",     "-profile:v", "high",
          "-an",           "-movflags", "+faststart", "/out/clip-converted.mp4"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.settings.arguments("/in/clip.mov", "/out/clip-converted.mp4", row.info, std::nullopt,
                                         std::filesystem::path("/tmp/quillmorph-X")),
                  joined(head("/in/clip.mov"), row.tail));
    }
    // Audio left out is the same command as audio wanted from a source without any.
    EXPECT_EQ(
        (VideoSettings{.includeAudio = false}).arguments("in", "out.mp4", fullHD, std::nullopt, std::nullopt),
        VideoSettings{}.arguments("in", "out.mp4", silent, std::nullopt, std::nullopt));
}

TEST(VideoSettings, ArgumentsForTheTwoWebMPasses) {
    VideoSettings settings{.videoBitrate = 2500, .audioBitrate = 128, .container = VideoContainer::webm};
    std::filesystem::path passLog = "/tmp/quillmorph-0C1D";
    const Arguments vp9{"-c:v", "libvpx-vp9", "-row-mt", "1",    "-deadline",
                        "good", "-cpu-used",  "2",       "-b:v", "2500k"};

    // Pass 1 only gathers statistics: no audio and no output file.
    EXPECT_EQ(settings.arguments("in.mp4", "out.webm", fullHD, 1, passLog),
              joined(joined(head("in.mp4"), {"-map_metadata", "-1", "-vf", "format=yuv420p"}),
                     joined(vp9, {"-pass", "1", "-passlogfile", "/tmp/quillmorph-0C1D", "-an", "-f", "null",
                                  "/dev/null"})));
    EXPECT_EQ(
        settings.arguments("in.mp4", "out.webm", fullHD, 2, passLog),
        joined(joined(head("in.mp4"), {"-map", "0:a:0", "-map_metadata", "-1", "-vf", "format=yuv420p"}),
               joined(vp9, {"-pass", "2", "-passlogfile", "/tmp/quillmorph-0C1D", "-c:a", "libopus", "-b:a",
                            "128k", "-ac", "2", "out.webm"})));
}

} // namespace
} // namespace quillmorph
