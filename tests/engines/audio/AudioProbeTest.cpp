#include "engines/audio/AudioProbe.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quillmorph {
namespace {

const std::filesystem::path file = "/music/song.mp3";

TEST(AudioProbe, MissingOrMistypedFieldsTakeTheirDefaults) {
    struct Row {
        const char* name;
        const char* json;
        AudioInfo expected;
    };
    const Row rows[] = {
        {"all missing", R"({"streams":[{}],"format":{}})", {}},
        {"bit rate in kbps", R"({"streams":[{}],"format":{"bit_rate":"320000"}})", {.bitrate = 320}},
        {"numbers where text belongs",
         R"({"streams":[{"sample_rate":48000,"codec_name":7}],"format":{"duration":3.5,"bit_rate":320000}})",
         {}},
        {"unparsable texts",
         R"({"streams":[{"sample_rate":"44.1k"}],"format":{"duration":"N/A","bit_rate":"12x"}})",
         {}},
        {"huge bit rate",
         R"({"streams":[{}],"format":{"bit_rate":"99999999999999999"}})",
         {.bitrate = std::numeric_limits<int>::max()}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto info = AudioProbe::parse(row.json, file);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(*info, row.expected);
    }
}

TEST(AudioProbe, RejectsReportsWithoutFormatOrAudio) {
    struct Row {
        const char* name;
        const char* json;
        AudioEngineError expected;
    };
    const Row rows[] = {
        {"empty output", "", AudioEngineError::unreadable(file)},
        {"truncated", R"({"streams":[{"codec_name":"mp3"}],"form)", AudioEngineError::unreadable(file)},
        {"ffprobe on a text file", "{\n\n}\n", AudioEngineError::unreadable(file)},
        {"format not an object", R"({"streams":[{}],"format":[]})", AudioEngineError::unreadable(file)},
        {"no streams", R"({"format":{}})", AudioEngineError::noAudioTrack(file)},
        {"streams not objects", R"({"streams":[1],"format":{}})", AudioEngineError::noAudioTrack(file)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto info = AudioProbe::parse(row.json, file);
        ASSERT_FALSE(info.has_value());
        EXPECT_EQ(info.error(), row.expected);
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
