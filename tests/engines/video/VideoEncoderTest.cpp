#include "engines/video/VideoEncoder.h"

#include "engines/video/FFmpegTool.h"
#include "tests/engines/process/ProcessChecks.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <thread>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;
using testing::clip;
using testing::inlineExecutor;

// Progress as the encoder reported it, from whichever thread.
class Recorder {
  public:
    VideoEncoding::Progress progress() {
        return [this](double fraction) {
            std::lock_guard lock(m_mutex);
            m_fractions.push_back(fraction);
            m_first.notify_all();
        };
    }
    std::vector<double> fractions() {
        std::lock_guard lock(m_mutex);
        return m_fractions;
    }
    void waitForFirst() {
        std::unique_lock lock(m_mutex);
        m_first.wait(lock, [&] { return !m_fractions.empty(); });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_first;
    std::vector<double> m_fractions;
};

// A stand-in for ffmpeg: logs its arguments one per line (a blank line after each run), leaves a
// statistics file where -passlogfile says, writes its output file, then runs `body`.
class FakeFFmpeg : public ::testing::Test {
  protected:
    void install(const std::string& body) {
        fs::create_directories(m_folder / "bin");
        fs::path script = m_folder / "bin" / "ffmpeg";
        const std::string logged = " >> '" + log().string() + "'\n";
        testing::writeFile(script, "#!/bin/sh\nfor argument; do echo \"$argument\"; done" + logged + "echo" +
                                       logged +
                                       R"(previous=; output=
for argument; do
  [ "$previous" = -passlogfile ] && : > "$argument-0.log"
  previous=$argument; output=$argument
done
[ "$output" = /dev/null ] || echo partial > "$output"
)" + body + "\n");
        fs::permissions(script, fs::perms::owner_all);
        FFmpegTool::setSearchFolders(std::vector{(m_folder / "bin").string()});
    }
    void TearDown() override { FFmpegTool::setSearchFolders(std::nullopt); }

    fs::path log() const { return m_folder / "arguments.log"; }
    // Every run's argument list.
    std::vector<std::vector<std::string>> runs() const {
        std::vector<std::vector<std::string>> all(1);
        std::istringstream lines(testing::readFile(log()));
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

    testing::TemporaryDirectory m_folder;
    fs::path m_output = m_folder / "clip-converted.mp4";
    VideoInfo m_info{.width = 320, .height = 240, .duration = 10, .frameRate = 25, .hasAudio = true};
};

TEST_F(FakeFFmpeg, ProgressFollowsOutTimeInEachPassSlice) {
    install("printf 'frame=1\\nout_time_us=N/A\\nout_time_us=-5\\nout_time_us=25'\n"
            "sleep 0.2\n" // a record split across two reads
            "printf '00000\\nout_time_us=5000000\\nspeed=1x\\nout_time_us=20000000\\nprogress=end\\n'");
    struct Row {
        const char* name;
        VideoContainer container;
        double duration;
        std::vector<double> fractions;
    };
    const Row rows[] = {
        {"one pass", VideoContainer::mp4, 10, {0.25, 0.5, 1.0, 1.0}},
        {"two passes", VideoContainer::webm, 10, {0.0875, 0.175, 0.35, 0.35, 0.5125, 0.675, 1.0, 1.0}},
        {"no duration", VideoContainer::mp4, 0, {1.0, 1.0, 1.0, 1.0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder;
        VideoInfo info = m_info;
        info.duration = row.duration;
        auto encoded = VideoEncoder().encode("in.mp4", m_output, info, {.container = row.container},
                                             recorder.progress(), inlineExecutor);
        ASSERT_TRUE(encoded) << describe(encoded.error());
        std::vector<double> fractions = recorder.fractions();
        ASSERT_EQ(fractions.size(), row.fractions.size());
        for (std::size_t index = 0; index < fractions.size(); ++index)
            EXPECT_DOUBLE_EQ(fractions[index], row.fractions[index]) << index;
    }
}

TEST_F(FakeFFmpeg, TwoPassesShareOneFreshStatisticsPrefixThatIsRemovedAfterwards) {
    install("exit 0");
    VideoSettings webm{.container = VideoContainer::webm};
    ASSERT_TRUE(VideoEncoder().encode(
        "in.mp4", m_output, m_info, webm, [](double) {}, inlineExecutor));
    ASSERT_TRUE(VideoEncoder().encode(
        "in.mp4", m_output, m_info, webm, [](double) {}, inlineExecutor));

    auto all = runs();
    ASSERT_EQ(all.size(), 4u);
    fs::path prefix = after(all[0], "-passlogfile");
    EXPECT_EQ(prefix, after(all[1], "-passlogfile"));
    EXPECT_NE(prefix, after(all[2], "-passlogfile")) << "a fresh prefix per file";
    EXPECT_EQ(prefix.parent_path(), fs::temp_directory_path());
    EXPECT_TRUE(prefix.filename().string().starts_with("quillmorph-"));
    EXPECT_FALSE(fs::exists(prefix.string() + "-0.log")) << "ffmpeg's statistics are gone";
}

TEST_F(FakeFFmpeg, FailureCarriesTheLastNonEmptyErrorLineAndRemovesTheOutput) {
    struct Row {
        const char* name;
        std::string body;
        std::string message;
        VideoContainer container = VideoContainer::mp4; // WebM: the first of two passes fails alone
    };
    const Row rows[] = {
        {"last of several", "printf 'x\\ny\\n\\n' >&2; exit 1", "y"},
        {"no line feed at the end", "printf 'first\\nlast words' >&2; exit 1", "last words"},
        {"not UTF-8", "printf 'caf\\351\\n' >&2; exit 1", ""},
        {"killed", "kill -KILL $$", ""},
        {"first pass", "echo 'Unknown encoder' >&2; exit 1", "Unknown encoder", VideoContainer::webm},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        install(row.body);
        fs::remove(log());
        auto encoded = VideoEncoder().encode(
            "/in/clip.mp4", m_output, m_info, {.container = row.container}, [](double) {}, inlineExecutor);
        ASSERT_FALSE(encoded);
        EXPECT_EQ(encoded.error(), VideoEngineError::encodeFailed("/in/clip.mp4", row.message));
        EXPECT_FALSE(fs::exists(m_output));
        EXPECT_EQ(runs().size(), 1u);
    }
}

TEST_F(FakeFFmpeg, CancelDuringTheFirstWebMPassLeavesNothingAndNeverStartsTheSecond) {
    // The pass runs a child of its own, as a real encoder might: it must go as well.
    install("echo out_time_us=1000000; sleep 60");
    int descriptorsBefore = testing::openDescriptorCount();
    VideoEncoder encoder;
    Recorder recorder;
    auto encoding = std::async(std::launch::async, [&] {
        return encoder.encode("in.mp4", m_output, m_info, {.container = VideoContainer::webm},
                              recorder.progress(), inlineExecutor);
    });
    recorder.waitForFirst();
    std::thread([&] { encoder.cancel(); }).join();
    auto encoded = encoding.get();

    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error(), VideoEngineError::cancelled());
    EXPECT_FALSE(fs::exists(m_output));
    ASSERT_EQ(runs().size(), 1u);
    EXPECT_EQ(after(runs()[0], "-pass"), "1");
    EXPECT_FALSE(fs::exists(after(runs()[0], "-passlogfile") + "-0.log"));
    ASSERT_EQ(recorder.fractions().size(), 1u);
    EXPECT_DOUBLE_EQ(recorder.fractions()[0], 0.035);
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
    EXPECT_FALSE(testing::hasChildren());
}

TEST_F(FakeFFmpeg, MissingOrBrokenProgram) {
    FFmpegTool::setSearchFolders(std::vector{m_folder.path().string()});
    auto missing = VideoEncoder().encode(
        "in.mp4", m_output, m_info, {}, [](double) {}, inlineExecutor);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), VideoEngineError::toolMissing());

    // Executable, but not a program the system can start.
    install("");
    testing::writeFile(m_folder / "bin" / "ffmpeg", "\x7f"
                                                    "ELF garbage");
    auto broken = VideoEncoder().encode(
        "in.mp4", m_output, m_info, {}, [](double) {}, inlineExecutor);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().kind, VideoEngineError::Kind::launchFailed);
    EXPECT_TRUE(broken.error().message.starts_with((m_folder / "bin" / "ffmpeg").string() + ": "));
}

TEST(RealFFmpeg, EncodesWebMInTwoPassesAndToneMapsHDR) {
    testing::TemporaryDirectory folder;
    auto info = FFmpegTool::probe(clip(Clip::hdr));
    ASSERT_TRUE(info);
    auto encoded = VideoEncoder().encode(
        clip(Clip::hdr), folder / "out.webm", *info, {.videoBitrate = 200, .container = VideoContainer::webm},
        [](double) {}, inlineExecutor);
    ASSERT_TRUE(encoded) << describe(encoded.error());
    auto result = FFmpegTool::probe(folder / "out.webm");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->codec, "vp9");
    EXPECT_FALSE(result->isHDR);
    EXPECT_EQ(result->width, 160);
    EXPECT_EQ(result->height, 90);
}

} // namespace
} // namespace quillmorph
