#include "engines/video/FFmpegTool.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(FFprobeOutput, ParseRate) {
    struct Row {
        std::optional<std::string_view> text;
        std::optional<double> rate;
    };
    const Row rows[] = {
        {"30000/1001", 30000.0 / 1001}, {"//50//2//", 25.0},  {"0/0", std::nullopt},
        {"30/0", std::nullopt},         {"25", std::nullopt}, {"", std::nullopt},
        {"1e308/1e-308", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.value_or("(none)"));
        EXPECT_EQ(FFmpegTool::parseRate(row.text), row.rate);
    }
}

TEST(FFprobeOutput, FieldsAndTheirDefaults) {
    const std::string stream = R"("codec_type": "video", "codec_name": "h264", "width": 1920, "height": 1080,
                                  "r_frame_rate": "30000/1001")";
    const std::string format = R"("format": {"duration": "12.5", "bit_rate": "4000000", "size": "6250000"})";
    struct Row {
        const char* name;
        std::string json;
        VideoInfo info;
    };
    const VideoInfo plain{.width = 1920,
                          .height = 1080,
                          .duration = 12.5,
                          .frameRate = 30000.0 / 1001,
                          .codec = "h264",
                          .bitrate = 4000000,
                          .fileSize = 6250000};
    VideoInfo turned = plain;
    std::swap(turned.width, turned.height);
    VideoInfo hdr = plain;
    hdr.isHDR = true;
    // The plain video stream with `more` fields.
    auto json = [&](const std::string& more) {
        return "{\"streams\": [{" + stream + more + "}], " + format + "}";
    };
    const Row rows[] = {
        {"plain", json(""), plain},
        {"side data wins over the tag",
         json(R"(, "side_data_list": [{"rotation": 180}], "tags": {"rotate": "90"})"), plain},
        {"older rotate tag", json(R"(, "tags": {"rotate": "+90"})"), turned},
        {"a garbled rotate tag", json(R"(, "tags": {"rotate": "90x"})"), plain},
        {"HDR by primaries alone", json(R"(, "color_transfer": "bt709", "color_primaries": "bt2020")"), hdr},
        {"no format section",
         "{\"streams\": [{" + stream + "}]}",
         {.width = 1920, .height = 1080, .frameRate = 30000.0 / 1001, .codec = "h264"}},
        {"fields of the wrong type",
         R"({"streams": [{"codec_type": "video", "codec_name": 264, "width": "1920", "height": 1080.0,
                          "r_frame_rate": 30}],
             "format": {"duration": 12.5, "bit_rate": "N/A", "size": "12 MB"}})",
         VideoInfo{}},
        {"a stream that is not an object is skipped",
         "{\"streams\": [7, \"video\", {" + stream + "}], " + format + "}", plain},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto info = FFmpegTool::videoInfo(row.json, "/v/clip.mp4");
        ASSERT_TRUE(info) << describe(info.error());
        EXPECT_EQ(*info, row.info);
    }
}

TEST(FFprobeOutput, RejectsWhatIsNoVideo) {
    const std::pair<const char*, VideoEngineError::Kind> rows[] = {
        {"", VideoEngineError::Kind::probeFailed},
        {"{\"streams\": [", VideoEngineError::Kind::probeFailed},
        {"{}", VideoEngineError::Kind::noVideoStream},
        {R"({"streams": {"codec_type": "video"}})", VideoEngineError::Kind::noVideoStream},
        {R"({"streams": [{"codec_type": "audio"}]})", VideoEngineError::Kind::noVideoStream},
    };
    for (auto [json, kind] : rows) {
        SCOPED_TRACE(json);
        auto info = FFmpegTool::videoInfo(json, "/v/clip.mp4");
        ASSERT_FALSE(info);
        EXPECT_EQ(info.error().kind, kind);
        EXPECT_EQ(info.error().file, "/v/clip.mp4");
    }
}

} // namespace
} // namespace quillmorph
