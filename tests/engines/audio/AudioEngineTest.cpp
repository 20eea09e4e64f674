#include "engines/audio/AudioEngine.h"

#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "engines/output/FileNaming.h"
#include "engines/video/FFmpegTool.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;

fs::path destinationFor(const fs::path& source, AudioFormat format) {
    return FileNaming::destination(source, AudioEngine::outputSuffix, fileExtension(format));
}

// Fresh, empty user defaults, the built-in ffmpeg search and a folder to write into.
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

// A FIFO would keep ffprobe and ffmpeg waiting for ever.
TEST_F(AudioEngineTest, RejectsWhatItCannotRead) {
    ASSERT_EQ(mkfifo((m_folder / "pipe.mp3").c_str(), 0600), 0);
    for (const fs::path& file : {m_folder / "missing.wav", m_folder / "pipe.mp3", m_folder.path()}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(AudioEngine::inspect(file), tl::unexpected(AudioEngineError::unreadable(file)));
    }
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

TEST_F(AudioEngineTest, RunReportsStreamsAndHowTheToolEnded) {
    AudioEngine::ToolRun result = AudioEngine::run("/bin/sh", {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(result, (AudioEngine::ToolRun{.status = 3, .output = "out\n", .error = "err\n"}));
    EXPECT_EQ(AudioEngine::run(m_folder / "nothing-here", {}), AudioEngine::ToolRun{});
    EXPECT_EQ(AudioEngine::run("/bin/sh", {"-c", "kill -TERM $$"}).status, 128 + SIGTERM);
}

// Switched off while installed is the same as missing: both operations fail at once, writing nothing.
TEST_F(AudioEngineTest, SwitchedOffToolsAreNeedsFFmpeg) {
    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
    ASSERT_TRUE(FFmpegTool::path(FFmpegTool::ffmpeg).has_value());
    EXPECT_FALSE(AudioEngine::isAvailable());
    EXPECT_EQ(AudioEngine::inspect(m_song), tl::unexpected(AudioEngineError::needsFFmpeg()));
    EXPECT_EQ(AudioEngine::convert(m_song, destinationFor(m_song, AudioFormat::mp3), {}, {}),
              tl::unexpected(AudioEngineError::needsFFmpeg()));
    EXPECT_EQ(testing::namesIn(m_folder.path()), std::vector<std::string>{"tone.wav"});
}

// A stand-in ffmpeg beside the real ffprobe, for the ways a run goes wrong that the real one
// will not show on demand.
class FakeFFmpeg : public AudioEngineTest {
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        install(row.script);
        auto output = AudioEngine::convert(m_song, destinationFor(m_song, AudioFormat::mp3), {}, {});
        ASSERT_FALSE(output.has_value());
        EXPECT_EQ(output.error(), AudioEngineError::failed(row.message));
        EXPECT_EQ(describe(output.error()),
                  row.message.empty() ? Localization::string(Phrase::errorAudioEncoding) : row.message);
        EXPECT_EQ(testing::namesIn(m_folder.path()), std::vector<std::string>{"tone.wav"});
    }
}

} // namespace
} // namespace quillmorph
