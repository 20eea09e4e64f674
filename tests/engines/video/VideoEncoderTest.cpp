#include "engines/video/VideoEncoder.h"

#include "engines/video/FFmpegTool.h"
#include "tests/engines/process/ProcessChecks.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <future>
#include <gtest/gtest.h>
#include <sstream>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::inlineExecutor;
using Runs = std::vector<std::vector<std::string>>;

// A stand-in for ffmpeg: logs its arguments one per line (a blank line after each run), leaves a
// statistics file where -passlogfile says, writes its output file, then runs `body`.
class FakeFFmpeg : public ::testing::Test {
  protected:
    void install(const std::string& body) {
        fs::create_directories(m_folder / "bin");
        const std::string logged = " >> '" + (m_folder / "arguments.log").string() + "'\n";
        testing::writeFile(m_folder / "bin" / "ffmpeg",
                           "#!/bin/sh\nfor argument; do echo \"$argument\"; done" + logged + "echo" + logged +
                               R"(previous=; output=
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

    Runs runs() const {
        Runs all(1);
        std::istringstream lines(testing::readFile(m_folder / "arguments.log"));
        for (std::string line; std::getline(lines, line);) {
            if (line.empty())
                all.emplace_back();
            else
                all.back().push_back(line);
        }
        all.pop_back();
        return all;
    }
    static std::string after(const std::vector<std::string>& arguments, const std::string& option) {
        auto found = std::ranges::find(arguments, option);
        return found == arguments.end() || found + 1 == arguments.end() ? "" : *(found + 1);
    }
    tl::expected<void, VideoEngineError> encode(
        VideoContainer container, double duration = 10, VideoEncoding::Progress progress = [](double) {}) {
        VideoInfo info{.width = 320, .height = 240, .duration = duration, .frameRate = 25, .hasAudio = true};
        return m_encoder.encode("/in/clip.mp4", m_output, info, {.container = container}, progress,
                                inlineExecutor);
    }

    testing::TemporaryDirectory m_folder;
    fs::path m_output = m_folder / "clip-converted.mp4";
    VideoEncoder m_encoder;
};

// Time and frames both count, never backwards; each pass fills its slice of the file's progress.
TEST_F(FakeFFmpeg, ProgressFollowsTimeAndFramesInEachPassSlice) {
    const std::string usual = "printf 'frame=1\\nout_time_us=N/A\\nout_time_us=-5\\nout_time_us=25'\n"
                              "sleep 0.2\n" // a record split across two reads
                              "printf '00000\\nout_time_us=5000000\\nspeed=1x\\nout_time_us=20000000\\n'";
    // ffmpeg's first VP9 pass counts frames but reports no time.
    const std::string framesOnly = "printf 'frame=125\\nout_time_us=0\\nprogress=continue\\n'";
    const std::tuple<const char*, std::string, VideoContainer, double, std::vector<double>> rows[] = {
        {"one pass", usual, VideoContainer::mp4, 10, {0.004, 0.25, 0.5, 1.0, 1.0}},
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
        std::vector<double> fractions;
        auto encoded = VideoEncoder().encode(
            "in.mp4", m_output, {.duration = duration, .frameRate = 25}, {.container = container},
            [&](double fraction) { fractions.push_back(fraction); }, inlineExecutor);
        ASSERT_TRUE(encoded) << describe(encoded.error());
        ASSERT_EQ(fractions.size(), expected.size());
        for (std::size_t index = 0; index < fractions.size(); ++index)
            EXPECT_NEAR(fractions[index], expected[index], 1e-9) << index;
    }
}

// The statistics live in a private folder of the run, one fresh prefix per file, removed after
// it; folders that killed runs left behind go too.
TEST_F(FakeFFmpeg, TwoPassStatisticsStayInThePrivateRunFolder) {
    install("exit 0");
    ASSERT_TRUE(encode(VideoContainer::webm));
    fs::path prefix = after(runs()[0], "-passlogfile");
    EXPECT_EQ(prefix, after(runs()[1], "-passlogfile"));
    fs::path run = prefix.parent_path();
    EXPECT_TRUE(run.filename().string().starts_with("quillmorph-passes-" + std::to_string(getpid()) + "-"));
    EXPECT_EQ(fs::status(run).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(run)) << "ffmpeg's statistics are gone";

    fs::path gone = run.parent_path() / "quillmorph-passes-99999999-gone"; // no such process
    fs::path alive = run.parent_path() / ("quillmorph-passes-" + std::to_string(getppid()) + "-alive");
    fs::create_directory(gone);
    fs::create_directory(alive);
    ASSERT_TRUE(VideoEncoder().encode(
        "in.mp4", m_output, {}, {.container = VideoContainer::webm}, [](double) {}, inlineExecutor));
    EXPECT_NE(prefix, after(runs()[2], "-passlogfile")) << "a fresh prefix per file";
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_TRUE(fs::remove(alive));
}

TEST_F(FakeFFmpeg, FailureCarriesTheLastNonEmptyErrorLineAndRemovesTheOutput) {
    const std::tuple<const char*, std::string, std::string, VideoContainer> rows[] = {
        {"last of several", "printf 'x\\ny\\n\\n' >&2; exit 1", "y", VideoContainer::mp4},
        {"no line feed at the end", "printf 'first\\nlast words' >&2; exit 1", "last words",
         VideoContainer::mp4},
        {"not UTF-8", "printf 'caf\\351\\n' >&2; exit 1", "", VideoContainer::mp4},
        {"killed", "kill -KILL $$", "", VideoContainer::mp4},
        {"the first of two passes", "echo 'Unknown encoder' >&2; exit 1", "Unknown encoder",
         VideoContainer::webm},
    };
    for (const auto& [name, body, message, container] : rows) {
        SCOPED_TRACE(name);
        install(body);
        EXPECT_EQ(VideoEncoder().encode(
                      "/in/clip.mp4", m_output, {}, {.container = container}, [](double) {}, inlineExecutor),
                  tl::unexpected(VideoEngineError::encodeFailed("/in/clip.mp4", message)));
        EXPECT_FALSE(fs::exists(m_output));
        EXPECT_EQ(runs().size(), 1u);
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

TEST_F(FakeFFmpeg, CancelDuringTheFirstWebMPassLeavesNothingAndNeverStartsTheSecond) {
    // The pass runs a child of its own, as a real encoder might: it must go as well.
    install("echo out_time_us=1000000; sleep 60");
    int descriptorsBefore = testing::openDescriptorCount();
    std::promise<double> first;
    auto encoding = std::async(std::launch::async, [&] {
        return encode(VideoContainer::webm, 10, [&, once = true](double fraction) mutable {
            if (std::exchange(once, false))
                first.set_value(fraction);
        });
    });
    EXPECT_DOUBLE_EQ(first.get_future().get(), 0.035);
    std::thread([&] { m_encoder.cancel(); }).join();
    EXPECT_EQ(encoding.get(), tl::unexpected(VideoEngineError::cancelled()));
    EXPECT_FALSE(fs::exists(m_output));
    ASSERT_EQ(runs().size(), 1u);
    EXPECT_EQ(after(runs()[0], "-pass"), "1");
    EXPECT_FALSE(fs::exists(after(runs()[0], "-passlogfile") + "-0.log"));
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
    EXPECT_FALSE(testing::hasChildren());
}

} // namespace
} // namespace quillmorph
