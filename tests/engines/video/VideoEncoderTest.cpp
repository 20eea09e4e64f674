#include "engines/video/VideoEncoder.h"

#include "engines/video/FFmpegTool.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

// A stand-in ffmpeg: logs each run's arguments, fakes -passlogfile's statistics and its output, runs `body`.
class FakeFFmpeg : public ::testing::Test {
  protected:
    void install(const std::string& body) {
        fs::create_directories(m_folder / "bin");
        testing::writeFile(m_folder / "bin" / "ffmpeg",
                           "#!/bin/sh\necho \"$*\" >> '" + (m_folder / "arguments.log").string() + R"('
previous=; output=
for argument; do
  [ "$previous" = -passlogfile ] && : > "$argument-0.log"
  previous=$argument; output=$argument
done
[ "$output" = /dev/null ] || echo partial > "$output"
)" + body + "\n");
        fs::permissions(m_folder / "bin" / "ffmpeg", fs::perms::owner_all);
        FFmpegTool::setSearchFolders(std::vector{(m_folder / "bin").string()});
        fs::remove(m_folder / "arguments.log");
    }
    void TearDown() override { FFmpegTool::setSearchFolders(std::nullopt); }

    // Per run of the stand-in so far, the argument after `option` ("" when it has none).
    std::vector<std::string> runsWith(const std::string& option) const {
        std::vector<std::string> values;
        std::istringstream lines(testing::readFile(m_folder / "arguments.log"));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::vector<std::string> run{std::istream_iterator<std::string>(words), {}};
            auto found = std::ranges::find(run, option);
            values.push_back(found != run.end() && found + 1 != run.end() ? *(found + 1) : "");
        }
        return values;
    }
    tl::expected<void, VideoEngineError> encode(VideoContainer container, double duration = 10) {
        return VideoEncoder().encode(
            "/in/clip.mp4", m_output, {.duration = duration, .frameRate = 25}, {.container = container},
            [this](double fraction) { m_fractions.push_back(fraction); }, testing::inlineExecutor);
    }

    testing::TemporaryDirectory m_folder;
    fs::path m_output = m_folder / "clip-converted.mp4";
    std::vector<double> m_fractions;
};

// Time and frames both count, never backwards; each pass fills its slice of the file's progress.
TEST_F(FakeFFmpeg, ProgressFollowsTimeAndFramesInEachPassSlice) {
    const std::string usual = "printf 'frame=1\\nout_time_us=N/A\\nout_time_us=-5\\nout_time_us=25'\n"
                              "sleep 0.2\n" // a record split across two reads
                              "printf '00000\\nout_time_us=5000000\\nspeed=1x\\nout_time_us=20000000\\n'";
    // ffmpeg's first VP9 pass counts frames but reports no time.
    const std::string framesOnly = "printf 'frame=125\\nout_time_us=0\\nprogress=continue\\n'";
    const std::tuple<const char*, std::string, VideoContainer, double, std::vector<double>> rows[] = {
        {"two passes",
         usual,
         VideoContainer::webm,
         10,
         {0.0014, 0.0875, 0.175, 0.35, 0.35, 0.3526, 0.5125, 0.675, 1.0, 1.0}},
        {"frames only", framesOnly, VideoContainer::webm, 10, {0.175, 0.35, 0.675, 1.0}},
        {"no duration", usual, VideoContainer::mp4, 0, {1.0, 1.0}},
    };
    for (const auto& [name, body, container, duration, expected] : rows) {
        SCOPED_TRACE(name);
        install(body);
        m_fractions.clear();
        ASSERT_TRUE(encode(container, duration));
        ASSERT_EQ(m_fractions.size(), expected.size());
        for (std::size_t index = 0; index < expected.size(); ++index)
            EXPECT_NEAR(m_fractions[index], expected[index], 1e-9) << index;
    }
}

// One fresh prefix per file, removed after it; folders left by killed runs go too.
TEST_F(FakeFFmpeg, TwoPassStatisticsStayInThePrivateRunFolder) {
    install("exit 0");
    ASSERT_TRUE(encode(VideoContainer::webm));
    fs::path prefix = runsWith("-passlogfile")[0];
    EXPECT_EQ(prefix, runsWith("-passlogfile")[1]);
    fs::path run = prefix.parent_path();
    EXPECT_TRUE(run.filename().string().starts_with("quillmorph-passes-" + std::to_string(getpid()) + "-"));
    EXPECT_EQ(fs::status(run).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(run)) << "ffmpeg's statistics are gone";

    fs::path gone = run.parent_path() / "quillmorph-passes-99999999-gone"; // no such process
    fs::path alive = run.parent_path() / ("quillmorph-passes-" + std::to_string(getppid()) + "-alive");
    fs::create_directory(gone);
    fs::create_directory(alive);
    ASSERT_TRUE(encode(VideoContainer::webm));
    EXPECT_NE(prefix, runsWith("-passlogfile")[2]) << "a fresh prefix per file";
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_TRUE(fs::remove(alive));
}

TEST_F(FakeFFmpeg, FailureCarriesTheLastNonEmptyErrorLineAndRemovesTheOutput) {
    const std::tuple<const char*, std::string, std::string, VideoContainer> rows[] = {
        {"last of several", "printf 'x\\ny\\n\\n' >&2; exit 1", "y", VideoContainer::mp4},
        {"not UTF-8", "printf 'caf\\351\\n' >&2; exit 1", "", VideoContainer::mp4},
        {"killed", "kill -KILL $$", "", VideoContainer::mp4},
        {"the first of two passes", "echo 'Unknown encoder' >&2; exit 1", "Unknown encoder",
         VideoContainer::webm},
    };
    for (const auto& [name, body, message, container] : rows) {
        SCOPED_TRACE(name);
        install(body);
        EXPECT_EQ(encode(container), tl::unexpected(VideoEngineError::encodeFailed("/in/clip.mp4", message)));
        EXPECT_FALSE(fs::exists(m_output));
        EXPECT_EQ(runsWith("-pass").size(), 1u);
    }
    // Missing, and executable but not a program the system can start.
    FFmpegTool::setSearchFolders(std::vector{m_folder.path().string()});
    EXPECT_EQ(encode(VideoContainer::mp4), tl::unexpected(VideoEngineError::toolMissing()));
    install("");
    testing::writeFile(m_folder / "bin" / "ffmpeg", "\x7f"
                                                    "ELF garbage");
    auto broken = encode(VideoContainer::mp4);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().kind, VideoEngineError::Kind::launchFailed);
    EXPECT_TRUE(broken.error().message.starts_with((m_folder / "bin" / "ffmpeg").string() + ": "));
}

} // namespace
} // namespace quillmorph
