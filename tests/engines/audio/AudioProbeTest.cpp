#include "engines/audio/AudioProbe.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quillmorph {
namespace {

const std::filesystem::path file = "/music/song.mp3";

TEST(AudioProbe, ReportsAndTheirDefaults) {
    using Parsed = tl::expected<AudioInfo, AudioEngineError>;
    const Parsed unreadable = tl::unexpected(AudioEngineError::unreadable(file));
    const Parsed noAudio = tl::unexpected(AudioEngineError::noAudioTrack(file));
    const std::tuple<const char*, const char*, Parsed> rows[] = {
        {"all missing", R"({"streams":[{}],"format":{}})", AudioInfo{}},
        {"bit rate in kbps", R"({"streams":[{}],"format":{"bit_rate":"320000"}})", AudioInfo{.bitrate = 320}},
        {"numbers where text belongs",
         R"({"streams":[{"sample_rate":48000,"codec_name":7}],"format":{"duration":3.5,"bit_rate":320000}})",
         AudioInfo{}},
        {"unparsable texts",
         R"({"streams":[{"sample_rate":"44.1k"}],"format":{"duration":"N/A","bit_rate":"12x"}})",
         AudioInfo{}},
        {"huge bit rate", R"({"streams":[{}],"format":{"bit_rate":"99999999999999999"}})",
         AudioInfo{.bitrate = std::numeric_limits<int>::max()}},
        {"empty output", "", unreadable},
        {"truncated", R"({"streams":[{"codec_name":"mp3"}],"form)", unreadable},
        {"ffprobe on a text file", "{\n\n}\n", unreadable},
        {"format not an object", R"({"streams":[{}],"format":[]})", unreadable},
        {"no streams", R"({"format":{}})", noAudio},
        {"streams not objects", R"({"streams":[1],"format":{}})", noAudio},
    };
    for (const auto& [name, json, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(AudioProbe::parse(json, file), expected);
    }
}

TEST(AudioProbe, BitDepthFromRawBitsThenSampleFormat) {
    struct Row {
        const char* json;
        std::optional<int> expected;
    };
    const Row rows[] = {
        {R"({"bits_per_raw_sample":"24","sample_fmt":"s16"})", 24},
        {R"({"bits_per_raw_sample":"+20"})", 20},
        {R"({"bits_per_raw_sample":"0","sample_fmt":"s32p"})", 24},
        {R"({"bits_per_raw_sample":"24 ","sample_fmt":"s16"})", 16},
        {R"({"bits_per_raw_sample":24,"sample_fmt":"s32"})", 24},
        {R"({"sample_fmt":"fltp"})", std::nullopt},
        {R"({"bits_per_raw_sample":"N/A"})", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(AudioProbe::bitDepth(nlohmann::json::parse(row.json)), row.expected);
    }
}

} // namespace
} // namespace quillmorph
