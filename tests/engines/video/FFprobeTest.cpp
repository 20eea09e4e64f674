#include "engines/video/FFmpegTool.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

using testing::Clip;
using testing::clip;

TEST(FFprobeOutput, ParseRate) {
    struct Row {
        std::optional<std::string_view> text;
        std::optional<double> rate;
    };
    const Row rows[] = {
        {"30000/1001", 30000.0 / 1001},
        {"25/1", 25.0},
        {"//50//2//", 25.0},
        {"0/0", std::nullopt},
        {"30/0", std::nullopt},
        {"25", std::nullopt},
        {"1/2/3", std::nullopt},
        {"", std::nullopt},
        {std::nullopt, std::nullopt},
        {"0/1", std::nullopt},
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
    auto with = [&](auto change) {
        VideoInfo info = plain;
        change(info);
        return info;
    };
    const Row rows[] = {
        {"plain", "{\"streams\": [{" + stream + "}], " + format + "}", plain},
        {"audio after video",
         "{\"streams\": [{" + stream + "}, {\"codec_type\": \"audio\", \"codec_name\": \"aac\"}], " + format +
             "}",
         with([](VideoInfo& info) {
             info.hasAudio = true;
             info.audioCodec = "aac";
         })},
        {"audio without a codec name",
         "{\"streams\": [{\"codec_type\": \"audio\"}, {" + stream + "}], " + format + "}",
         with([](VideoInfo& info) { info.hasAudio = true; })},
        {"side-data rotation of -90",
         "{\"streams\": [{" + stream +
             R"(, "side_data_list": [{"side_data_type": "x"}, {"rotation": -90}]}], )" + format + "}",
         with([](VideoInfo& info) { std::swap(info.width, info.height); })},
        {"side data wins over the tag",
         "{\"streams\": [{" + stream +
             R"(, "side_data_list": [{"rotation": 180}], "tags": {"rotate": "90"}}], )" + format + "}",
         plain},
        {"older rotate tag",
         "{\"streams\": [{" + stream +
             R"(, "side_data_list": [{"rotation": "90"}], "tags": {"rotate": "+90"}}], )" + format + "}",
         with([](VideoInfo& info) { std::swap(info.width, info.height); })},
        {"a rotate tag of 270 does not swap",
         "{\"streams\": [{" + stream + R"(, "tags": {"rotate": "270"}}], )" + format + "}", plain},
        {"a garbled rotate tag",
         "{\"streams\": [{" + stream + R"(, "tags": {"rotate": "90x"}}], )" + format + "}", plain},
        {"HDR by transfer",
         "{\"streams\": [{" + stream + R"(, "color_transfer": "arib-std-b67"}], )" + format + "}",
         with([](VideoInfo& info) { info.isHDR = true; })},
        {"HDR by primaries alone",
         "{\"streams\": [{" + stream + R"(, "color_transfer": "bt709", "color_primaries": "bt2020"}], )" +
             format + "}",
         with([](VideoInfo& info) { info.isHDR = true; })},
        {"no format section", "{\"streams\": [{" + stream + "}]}", with([](VideoInfo& info) {
             info.duration = 0;
             info.bitrate = 0;
             info.fileSize = 0;
         })},
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
        {"not json", VideoEngineError::Kind::probeFailed},
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

TEST(FFprobe, MissingToolIsReportedBeforeAnythingRuns) {
    testing::TemporaryDirectory empty;
    FFmpegTool::setSearchFolders(std::vector{empty.path().string()});
    auto info = FFmpegTool::probe(clip(Clip::silent));
    FFmpegTool::setSearchFolders(std::nullopt);
    ASSERT_FALSE(info);
    EXPECT_EQ(info.error(), VideoEngineError::toolMissing());
}

} // namespace
} // namespace quillmorph
