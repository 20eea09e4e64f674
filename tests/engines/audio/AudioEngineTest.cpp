#include "engines/audio/AudioEngine.h"

#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "engines/audio/AudioProbe.h"
#include "engines/video/FFmpegTool.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;

// ffprobe's report on the first audio stream; a missing or mistyped field takes its default.
TEST(AudioProbe, ReportsAndTheirDefaults) {
    const fs::path file = "/music/song.mp3";
    using Parsed = tl::expected<AudioInfo, AudioEngineError>;
    const Parsed unreadable = tl::unexpected(AudioEngineError::unreadable(file));
    const Parsed noAudio = tl::unexpected(AudioEngineError::noAudioTrack(file));
    auto stream = [](std::string fields) {
        return R"({"streams":[{)" + fields + R"(}],"format":{}})";
    };
    const std::tuple<const char*, std::string, Parsed> rows[] = {
        {"bit rate in kbps", R"({"streams":[{}],"format":{"bit_rate":"320000"}})", AudioInfo{.bitrate = 320}},
        {"numbers where text belongs",
         R"({"streams":[{"sample_rate":48000,"codec_name":7}],"format":{"duration":3.5,"bit_rate":320000}})",
         AudioInfo{}},
        {"unparsable texts",
         R"({"streams":[{"sample_rate":"44.1k"}],"format":{"duration":"N/A","bit_rate":"12x"}})",
         AudioInfo{}},
        {"huge bit rate", R"({"streams":[{}],"format":{"bit_rate":"99999999999999999"}})",
         AudioInfo{.bitrate = std::numeric_limits<int>::max()}},
        {"raw bits first", stream(R"("bits_per_raw_sample":"24","sample_fmt":"s16")"),
         AudioInfo{.bitDepth = 24}},
        {"raw bits with a sign", stream(R"("bits_per_raw_sample":"+20")"), AudioInfo{.bitDepth = 20}},
        {"no raw bits", stream(R"("bits_per_raw_sample":"0","sample_fmt":"s32p")"),
         AudioInfo{.bitDepth = 24}},
        {"bits numeric", stream(R"("bits_per_raw_sample":24,"sample_fmt":"s32")"), AudioInfo{.bitDepth = 24}},
        {"garbled raw bits", stream(R"("bits_per_raw_sample":"24 ","sample_fmt":"s16")"),
         AudioInfo{.bitDepth = 16}},
        {"floating point", stream(R"("sample_fmt":"fltp")"), AudioInfo{}},
        {"empty output", "", unreadable},
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

class AudioEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QUILLMORPH_CONFIG_DIR", m_config.path().c_str(), 1);
        Localization::setLanguage("en");
    }
    void TearDown() override {
        FFmpegTool::setSearchFolders(std::nullopt);
        unsetenv("QUILLMORPH_CONFIG_DIR");
    }

    testing::TemporaryDirectory m_folder;
    testing::TemporaryDirectory m_config;
    fs::path m_song = testing::copyClip(Clip::wav32, m_folder.path(), "tone.wav");
};

// ffmpeg would wait on a FIFO for ever; the batch's probe refuses it first, this is the converter's guard.
TEST_F(AudioEngineTest, ConvertRefusesAFIFO) {
    ASSERT_EQ(mkfifo((m_folder / "pipe.mp3").c_str(), 0600), 0);
    EXPECT_EQ(AudioEngine::convert(m_folder / "pipe.mp3", m_folder / "pipe-converted.mp3", {}, {}),
              tl::unexpected(AudioEngineError::unreadable(m_folder / "pipe.mp3")));
}

TEST_F(AudioEngineTest, NeverOverwritesAnExistingFile) {
    fs::path taken = m_folder / "tone-converted.mp3";
    testing::writeFile(taken, "precious");
    auto output = AudioEngine::convert(m_song, taken, {}, {});
    ASSERT_TRUE(output.has_value()) << describe(output.error());
    EXPECT_EQ(testing::readFile(taken), "precious");
    EXPECT_EQ(testing::namesIn(m_folder.path()),
              (std::vector<std::string>{"tone-converted-1.mp3", "tone-converted.mp3", "tone.wav"}));
}

// Switched off while installed is the same as missing: both operations fail at once, writing nothing.
TEST_F(AudioEngineTest, SwitchedOffToolsAreNeedsFFmpeg) {
    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
    ASSERT_TRUE(FFmpegTool::path(FFmpegTool::ffmpeg).has_value());
    EXPECT_FALSE(AudioEngine::isAvailable());
    EXPECT_EQ(AudioEngine::inspect(m_song), tl::unexpected(AudioEngineError::needsFFmpeg()));
    EXPECT_EQ(AudioEngine::convert(m_song, m_folder / "tone-converted.mp3", {}, {}),
              tl::unexpected(AudioEngineError::needsFFmpeg()));
    EXPECT_EQ(testing::namesIn(m_folder.path()), std::vector<std::string>{"tone.wav"});
}

// A stand-in ffmpeg (its output is the last argument) for the failures the real one will not show on demand.
TEST_F(AudioEngineTest, AFailedRunLeavesNothingAndReportsTheLastErrorLine) {
    const std::tuple<const char*, std::string, std::string> rows[] = {
        {"exit 0 without writing", "echo 'Stream map matches no streams.' >&2\nexit 0\n",
         "Stream map matches no streams."},
        {"exit 0 with an empty file", ": > \"$output\"\nexit 0\n", ""},
        {"partial output, then failure",
         "echo partial > \"$output\"\nprintf 'first\\nConversion failed!\\n\\n' >&2\nexit 1\n",
         "Conversion failed!"},
        {"killed while writing", "echo partial > \"$output\"\nkill -KILL $$\n", ""},
        {"error text not UTF-8", "printf 'bad \\377 byte\\n' >&2\nexit 1\n", ""},
    };
    testing::TemporaryDirectory tools;
    FFmpegTool::setSearchFolders(std::vector{tools.path().string()});
    for (const auto& [name, script, message] : rows) {
        SCOPED_TRACE(name);
        testing::writeFile(tools / "ffmpeg", "#!/bin/sh\nfor output; do :; done\n" + script);
        fs::permissions(tools / "ffmpeg", fs::perms::owner_all);
        auto output = AudioEngine::convert(m_song, m_folder / "tone-converted.mp3", {}, {});
        EXPECT_EQ(output, tl::unexpected(AudioEngineError::failed(message)));
        EXPECT_EQ(describe(AudioEngineError::failed(message)),
                  message.empty() ? Localization::string(Phrase::errorAudioEncoding) : message);
        EXPECT_EQ(testing::namesIn(m_folder.path()), std::vector<std::string>{"tone.wav"});
    }
    EXPECT_EQ(AudioEngine::run(m_folder / "nothing-here", {}), AudioEngine::ToolRun{}) << "never started";
}

} // namespace
} // namespace quillmorph
