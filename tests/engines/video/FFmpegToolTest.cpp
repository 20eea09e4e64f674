#include "engines/video/FFmpegTool.h"

#include "common/Bundle.h"
#include "common/UserDefaults.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

TEST(FFprobeOutput, ParseRate) {
    const std::pair<std::string_view, std::optional<double>> rows[] = {
        {"//50//2//", 25.0}, {"30/0", std::nullopt}, {"25", std::nullopt}, {"1e308/1e-308", std::nullopt}};
    for (auto [text, rate] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FFmpegTool::parseRate(text), rate);
    }
}

TEST(FFprobeOutput, FieldsAndTheirDefaults) {
    const std::string stream = R"("codec_type": "video", "codec_name": "h264", "width": 1920, "height": 1080,
                                  "r_frame_rate": "30000/1001")";
    const std::string format = R"("format": {"duration": "12.5", "bit_rate": "4000000", "size": "6250000"})";
    const VideoInfo plain{.width = 1920,
                          .height = 1080,
                          .duration = 12.5,
                          .frameRate = 30000.0 / 1001,
                          .codec = "h264",
                          .bitrate = 4000000,
                          .fileSize = 6250000};
    VideoInfo turned = plain;
    std::swap(turned.width, turned.height);
    auto json = [&](const std::string& more) {
        return "{\"streams\": [{" + stream + more + "}], " + format + "}";
    };
    using Parsed = tl::expected<VideoInfo, VideoEngineError>;
    const Parsed unreadable = tl::unexpected(VideoEngineError::probeFailed("/v/clip.mp4"));
    const Parsed noVideo = tl::unexpected(VideoEngineError::noVideoStream("/v/clip.mp4"));
    const std::tuple<const char*, std::string, Parsed> rows[] = {
        {"plain", json(""), plain},
        {"side data wins over the tag",
         json(R"(, "side_data_list": [{"rotation": 180}], "tags": {"rotate": "90"})"), plain},
        {"older rotate tag", json(R"(, "tags": {"rotate": "+90"})"), turned},
        {"a garbled rotate tag", json(R"(, "tags": {"rotate": "90x"})"), plain},
        {"no format section", "{\"streams\": [{" + stream + "}]}",
         VideoInfo{.width = 1920, .height = 1080, .frameRate = 30000.0 / 1001, .codec = "h264"}},
        {"fields of the wrong type",
         R"({"streams": [{"codec_type": "video", "codec_name": 264, "width": "1920", "height": 1080.0,
                          "r_frame_rate": 30}], "format": {"duration": 12.5, "bit_rate": "N/A", "size": "12 MB"}})",
         VideoInfo{}},
        {"a stream that is not an object is skipped",
         "{\"streams\": [7, \"video\", {" + stream + "}], " + format + "}", plain},
        {"empty", "", unreadable},
        {"no streams", "{}", noVideo},
        {"streams not a list", R"({"streams": {"codec_type": "video"}})", noVideo},
        {"audio only", R"({"streams": [{"codec_type": "audio"}]})", noVideo},
    };
    for (const auto& [name, text, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FFmpegTool::videoInfo(text, "/v/clip.mp4"), expected);
    }
}

TEST(FFmpegToolDiscovery, FirstExecutableCandidateAndTheUserSwitch) {
    testing::TemporaryDirectory root;
    setenv("QUILLMORPH_CONFIG_DIR", (root / "config").c_str(), 1);
    auto install = [&](const char* folder, const char* tool, fs::perms permissions = fs::perms::owner_all) {
        fs::create_directories(root / folder);
        testing::writeFile(root / folder / tool, "#!/bin/sh\n");
        fs::permissions(root / folder / tool, permissions);
        return root / folder / tool;
    };
    fs::path helpers = install("helpers", "ffmpeg");
    install("custom", "ffmpeg");
    install("custom", "ffprobe", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(root / "helpers" / "ffprobe"); // a folder is not a program
    FFmpegTool::setSearchFolders(
        std::vector{(root / "helpers").string(), (root / "custom").string(), (root / "system").string()});
    EXPECT_EQ(FFmpegTool::path("ffmpeg"), helpers);
    EXPECT_EQ(FFmpegTool::path("ffprobe"), std::nullopt);
    EXPECT_FALSE(FFmpegTool::isAvailable()) << "ffmpeg alone";

    fs::path system = install("system", "ffprobe");
    EXPECT_EQ(FFmpegTool::path("ffprobe"), system);
    EXPECT_TRUE(FFmpegTool::isAvailable());
    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
    EXPECT_FALSE(FFmpegTool::isAvailable());

    // The environment's folder comes after the helpers and before the system, used exactly as given.
    FFmpegTool::setSearchFolders(std::nullopt);
    setenv("QUILLMORPH_FFMPEG_DIR", " relative/dir ", 1);
    EXPECT_EQ(FFmpegTool::searchFolders(),
              (std::vector<std::string>{Bundle::helpersDirectory().string(), " relative/dir ",
                                        "/opt/homebrew/bin", "/usr/local/bin", "/usr/bin"}));
    unsetenv("QUILLMORPH_FFMPEG_DIR");
    unsetenv("QUILLMORPH_CONFIG_DIR");
}

} // namespace
} // namespace quillmorph
