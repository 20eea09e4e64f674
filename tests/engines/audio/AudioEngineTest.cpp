#include "engines/audio/AudioEngine.h"

#include "AudioMedia.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "engines/output/FileNaming.h"
#include "engines/video/FFmpegTool.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::audioStream;
using testing::AudioTest;
using testing::StreamFacts;

using AudioEngineTest = AudioTest;

fs::path destinationFor(const fs::path& source, AudioFormat format) {
    return FileNaming::destination(source, AudioEngine::outputSuffix, fileExtension(format));
}

TEST_F(AudioEngineTest, InspectsGeneratedFiles) {
    struct Row {
        fs::path file;
        AudioInfo expected; // duration and bitrate checked loosely below
    };
    const Row rows[] = {
        {m_media.flac24, {.sampleRate = 48000, .channels = 2, .bitDepth = 24, .codec = "flac"}},
        {m_media.wav32, {.sampleRate = 44100, .channels = 1, .bitDepth = 32, .codec = "pcm_s32le"}},
        {m_media.wavFloat,
         {.sampleRate = 44100, .channels = 1, .bitDepth = std::nullopt, .codec = "pcm_f32le"}},
        {m_media.videoSound, {.sampleRate = 44100, .channels = 1, .bitDepth = std::nullopt, .codec = "aac"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file.filename());
        auto info = AudioEngine::inspect(row.file);
        ASSERT_TRUE(info.has_value()) << describe(info.error());
        EXPECT_NEAR(info->duration, 1.0, 0.1);
        EXPECT_GT(info->bitrate, 0);
        AudioInfo facts = *info;
        facts.duration = 0;
        facts.bitrate = 0;
        EXPECT_EQ(facts, row.expected);
    }
}

TEST_F(AudioEngineTest, InspectRejectsWhatItCannotRead) {
    for (const fs::path& file : {m_media.text, m_folder / "missing.wav", m_folder.path()}) {
        SCOPED_TRACE(file);
        auto info = AudioEngine::inspect(file);
        ASSERT_FALSE(info.has_value());
        EXPECT_EQ(info.error(), AudioEngineError::unreadable(file));
    }
}

TEST_F(AudioEngineTest, EveryFormatComesOutPlayable) {
    struct Row {
        AudioSettings settings;
        fs::path source;
        StreamFacts expected;
        double estimateTolerance = 0; // of the real size, for lossless outputs
    };
    const Row rows[] = {
        {{.format = AudioFormat::mp3, .bitrate = 128}, m_media.flac24, {"mp3", 2, "fltp", ""}},
        {{.format = AudioFormat::aac, .bitrate = 96, .mono = true}, m_media.flac24, {"aac", 1, "fltp", ""}},
        {{.format = AudioFormat::opus, .bitrate = 48}, m_media.flac24, {"opus", 2, "fltp", ""}},
        // A pure tone compresses far better than music, which the estimate assumes.
        {{.format = AudioFormat::flac}, m_media.flac24, {"flac", 2, "s32", "24"}, 0.9},
        {{.format = AudioFormat::wav}, m_media.wavFloat, {"pcm_s16le", 1, "s16", ""}, 0.01},
        {{.format = AudioFormat::wav, .mono = true}, m_media.flac24, {"pcm_s24le", 1, "s32", "24"}, 0.01},
        {{.format = AudioFormat::aiff}, m_media.wav32, {"pcm_s24be", 1, "s32", "24"}, 0.01},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(toString(row.settings.format)) + " from " + row.source.filename().string());
        fs::path source = m_folder / row.source.filename();
        if (!fs::exists(source))
            fs::copy_file(row.source, source);
        auto info = AudioEngine::inspect(source);
        ASSERT_TRUE(info.has_value());
        fs::path destination = destinationFor(source, row.settings.format);
        auto output = AudioEngine::convert(source, destination, row.settings, {.bitDepth = info->bitDepth});
        ASSERT_TRUE(output.has_value()) << describe(output.error());
        EXPECT_EQ(*output, destination);
        EXPECT_EQ(audioStream(*output), row.expected);
        EXPECT_TRUE(testing::decodesCleanly(*output));
        if (row.estimateTolerance > 0) {
            double real = static_cast<double>(FileNaming::byteCount(*output));
            EXPECT_NEAR(static_cast<double>(row.settings.estimatedBytes(*info)), real,
                        real * row.estimateTolerance);
        }
        fs::remove(*output);
    }
}

TEST_F(AudioEngineTest, CoversSurviveOnlyWhereTheFormatKeepsThem) {
    fs::path song = copy(m_media.mp3Cover);
    for (AudioFormat format : allCases<AudioFormat>()) {
        SCOPED_TRACE(toString(format));
        AudioSettings settings = AudioSettings{}.withFormat(format);
        auto output = AudioEngine::convert(song, destinationFor(song, format), settings, {});
        ASSERT_TRUE(output.has_value()) << describe(output.error());
        EXPECT_EQ(testing::pictureStreams(*output), keepsCover(format) ? 1 : 0);
        EXPECT_EQ(testing::tag(*output, "title"), "Quillmorph Test");
        EXPECT_EQ(audioStream(*output).channels, 2);

        settings.stripTags = true;
        auto stripped = AudioEngine::convert(song, destinationFor(song, format), settings, {});
        ASSERT_TRUE(stripped.has_value()) << describe(stripped.error());
        EXPECT_EQ(testing::pictureStreams(*stripped), 0);
        EXPECT_EQ(testing::tag(*stripped, "title"), "");
    }
}

TEST_F(AudioEngineTest, NeverOverwritesAnExistingFile) {
    fs::path song = copy(m_media.wav16);
    fs::path taken = m_folder / "tone16-converted.mp3";
    testing::writeFile(taken, "precious");

    auto output = AudioEngine::convert(song, taken, {}, {});
    ASSERT_TRUE(output.has_value()) << describe(output.error());
    EXPECT_EQ(testing::readFile(taken), "precious");
    EXPECT_EQ(testing::namesIn(m_folder.path()),
              (std::vector<std::string>{"tone16-converted-1.mp3", "tone16-converted.mp3", "tone16.wav"}));
}

TEST_F(AudioEngineTest, RunReportsStreamsAndHowTheToolEnded) {
    AudioEngine::ToolRun result = AudioEngine::run("/bin/sh", {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(result, (AudioEngine::ToolRun{.status = 3, .output = "out\n", .error = "err\n"}));
    EXPECT_EQ(AudioEngine::run(m_folder / "nothing-here", {}), AudioEngine::ToolRun{});
    EXPECT_EQ(AudioEngine::run("/bin/sh", {"-c", "kill -TERM $$"}).status, 128 + SIGTERM);
}

// Without ffmpeg, or with it switched off, both operations fail at once and write nothing.
// Switched off while installed is the same as missing: both operations fail at once, writing nothing.
TEST_F(AudioEngineTest, SwitchedOffToolsAreNeedsFFmpeg) {
    fs::path song = copy(m_media.wav16);
    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
    ASSERT_TRUE(FFmpegTool::path(FFmpegTool::ffmpeg).has_value());
    EXPECT_FALSE(AudioEngine::isAvailable());
    EXPECT_EQ(AudioEngine::inspect(song), tl::unexpected(AudioEngineError::needsFFmpeg()));
    EXPECT_EQ(AudioEngine::convert(song, destinationFor(song, AudioFormat::mp3), {}, {}),
              tl::unexpected(AudioEngineError::needsFFmpeg()));
    EXPECT_EQ(testing::namesIn(m_folder.path()), std::vector<std::string>{"tone16.wav"});
}

// A stand-in ffmpeg beside the real ffprobe, for the ways a run goes wrong that the real one
// will not show on demand.
class FakeFFmpeg : public AudioTest {
  protected:
    void install(const std::string& script) {
        fs::path ffmpeg = m_tools / "ffmpeg";
        testing::writeFile(ffmpeg, "#!/bin/sh\n# The output is the last argument.\nfor output; do :; done\n" +
                                       script);
        fs::permissions(ffmpeg, fs::perms::owner_all);
        auto ffprobe = FFmpegTool::path(FFmpegTool::ffprobe);
        ASSERT_TRUE(ffprobe.has_value());
        if (!fs::exists(m_tools / "ffprobe"))
            fs::create_symlink(*ffprobe, m_tools / "ffprobe");
        FFmpegTool::setSearchFolders(std::vector{m_tools.path().string()});
    }

    testing::TemporaryDirectory m_tools;
};

TEST_F(FakeFFmpeg, AFailedRunLeavesNothingAndReportsTheLastErrorLine) {
    struct Row {
        const char* name;
        std::string script;
        std::string message;
    };
    const Row rows[] = {
        {"exit 0 without writing", "echo 'Stream map matches no streams.' >&2\nexit 0\n",
         "Stream map matches no streams."},
        {"exit 0 with an empty file", ": > \"$output\"\nexit 0\n", ""},
        {"partial output, then failure",
         "echo partial > \"$output\"\nprintf 'first\\nConversion failed!\\n\\n' >&2\nexit 1\n",
         "Conversion failed!"},
        {"killed while writing", "echo partial > \"$output\"\nkill -KILL $$\n", ""},
        {"error text not UTF-8", "printf 'bad \\377 byte\\n' >&2\nexit 1\n", ""},
    };
    fs::path song = copy(m_media.wav16);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        install(row.script);
        auto output = AudioEngine::convert(song, destinationFor(song, AudioFormat::mp3), {}, {});
        ASSERT_FALSE(output.has_value());
        EXPECT_EQ(output.error(), AudioEngineError::failed(row.message));
        EXPECT_EQ(describe(output.error()),
                  row.message.empty() ? Localization::string(Phrase::errorAudioEncoding) : row.message);
        EXPECT_EQ(testing::namesIn(m_folder.path()), std::vector<std::string>{"tone16.wav"});
    }
}

} // namespace
} // namespace quillmorph
