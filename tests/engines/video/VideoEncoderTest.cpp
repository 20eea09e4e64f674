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

const Executor inline_ = [](std::function<void()> work) {
    work();
};

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
                                             recorder.progress(), inline_);
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
        "in.mp4", m_output, m_info, webm, [](double) {}, inline_));
    ASSERT_TRUE(VideoEncoder().encode(
        "in.mp4", m_output, m_info, webm, [](double) {}, inline_));

    auto all = runs();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(after(all[0], "-pass"), "1");
    EXPECT_EQ(all[0].back(), "/dev/null");
    EXPECT_EQ(after(all[1], "-pass"), "2");
    EXPECT_EQ(all[1].back(), m_output.string());
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
    };
    const Row rows[] = {
        {"last of several", "printf 'x\\ny\\n\\n' >&2; exit 1", "y"},
        {"no line feed at the end", "printf 'first\\nlast words' >&2; exit 1", "last words"},
        {"nothing said", "exit 1", ""},
        {"not UTF-8", "printf 'caf\\351\\n' >&2; exit 1", ""},
        {"killed", "kill -KILL $$", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        install(row.body);
        auto encoded = VideoEncoder().encode(
            "/in/clip.mp4", m_output, m_info, {}, [](double) {}, inline_);
        ASSERT_FALSE(encoded);
        EXPECT_EQ(encoded.error(), VideoEngineError::encodeFailed("/in/clip.mp4", row.message));
        EXPECT_FALSE(fs::exists(m_output));
    }
}

TEST_F(FakeFFmpeg, AFailingFirstPassNeverStartsTheSecond) {
    install("echo 'Unknown encoder' >&2; exit 1");
    auto encoded = VideoEncoder().encode(
        "in.mp4", m_output, m_info, {.container = VideoContainer::webm}, [](double) {}, inline_);
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error().message, "Unknown encoder");
    EXPECT_EQ(runs().size(), 1u);
}

TEST_F(FakeFFmpeg, CancelDuringTheFirstWebMPassLeavesNothingAndNeverStartsTheSecond) {
    // The pass runs a child of its own, as a real encoder might: it must go as well.
    install("echo out_time_us=1000000; sleep 60");
    int descriptorsBefore = testing::openDescriptorCount();
    VideoEncoder encoder;
    Recorder recorder;
    auto encoding = std::async(std::launch::async, [&] {
        return encoder.encode("in.mp4", m_output, m_info, {.container = VideoContainer::webm},
                              recorder.progress(), inline_);
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

TEST_F(FakeFFmpeg, CancelBeforeEncodingStartsRunsNothing) {
    install("exit 0");
    VideoEncoder encoder;
    encoder.cancel();
    auto encoded = encoder.encode(
        "in.mp4", m_output, m_info, {}, [](double) {}, inline_);
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error(), VideoEngineError::cancelled());
    EXPECT_FALSE(fs::exists(log()));
}

TEST_F(FakeFFmpeg, MissingOrBrokenProgram) {
    FFmpegTool::setSearchFolders(std::vector{m_folder.path().string()});
    auto missing = VideoEncoder().encode(
        "in.mp4", m_output, m_info, {}, [](double) {}, inline_);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), VideoEngineError::toolMissing());

    // Executable, but not a program the system can start.
    install("");
    testing::writeFile(m_folder / "bin" / "ffmpeg", "\x7f"
                                                    "ELF garbage");
    auto broken = VideoEncoder().encode(
        "in.mp4", m_output, m_info, {}, [](double) {}, inline_);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().kind, VideoEngineError::Kind::launchFailed);
    EXPECT_TRUE(broken.error().message.starts_with((m_folder / "bin" / "ffmpeg").string() + ": "));
}

// The real program.
class RealFFmpeg : public ::testing::Test {
  protected:
    static VideoInfo probe(const fs::path& file) {
        auto info = FFmpegTool::probe(file);
        EXPECT_TRUE(info) << describe(info.error());
        return info.value_or(VideoInfo{});
    }

    testing::TemporaryDirectory m_folder;
};

TEST_F(RealFFmpeg, EncodesMP4WithRisingProgress) {
    fs::path source = clip(Clip::landscape);
    fs::path output = m_folder / "out.mp4";
    Recorder recorder;
    VideoSettings settings{.sizing = FrameSizing::fit(640, 640),
                           .videoBitrate = 800,
                           .frameRateCap = 15,
                           .audioBitrate = 64,
                           .codec = VideoCodec::hevc};
    auto encoded =
        VideoEncoder().encode(source, output, probe(source), settings, recorder.progress(), inline_);
    ASSERT_TRUE(encoded) << describe(encoded.error());

    VideoInfo result = probe(output);
    EXPECT_EQ(result.width, 640);
    EXPECT_EQ(result.height, 360);
    EXPECT_EQ(result.codec, "hevc");
    EXPECT_EQ(result.frameRate, 15);
    EXPECT_EQ(result.audioCodec, "aac");
    std::vector<double> fractions = recorder.fractions();
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::ranges::is_sorted(fractions));
    EXPECT_EQ(fractions.back(), 1.0);
}

TEST_F(RealFFmpeg, EncodesWebMInTwoPassesAndToneMapsHDR) {
    fs::path output = m_folder / "out.webm";
    auto encoded = VideoEncoder().encode(
        clip(Clip::hdr), output, probe(clip(Clip::hdr)),
        {.videoBitrate = 200, .container = VideoContainer::webm}, [](double) {}, inline_);
    ASSERT_TRUE(encoded) << describe(encoded.error());
    VideoInfo result = probe(output);
    EXPECT_EQ(result.codec, "vp9");
    EXPECT_FALSE(result.isHDR);
    EXPECT_EQ(result.width, 160);
    EXPECT_EQ(result.height, 90);
}

TEST_F(RealFFmpeg, AnUnwritableDestinationFailsWithFFmpegsReason) {
    fs::path output = m_folder / "missing-folder" / "out.mp4";
    auto encoded = VideoEncoder().encode(
        clip(Clip::silent), output, probe(clip(Clip::silent)), {}, [](double) {}, inline_);
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error().kind, VideoEngineError::Kind::encodeFailed);
    EXPECT_NE(encoded.error().message.find("No such file or directory"), std::string::npos)
        << encoded.error().message;
}

TEST(VideoEncoder, PassFractionReadsOnlyNonNegativeOutTimes) {
    const std::pair<std::string_view, std::optional<double>> rows[] = {
        {"out_time_us=5000000", 0.5},          {"out_time_us=99000000", 1.0},
        {"out_time_us=N/A", std::nullopt},     {"out_time_us=-1", std::nullopt},
        {"out_time_ms=5000000", std::nullopt}, {"out_time_us=5000000\r", std::nullopt},
    };
    for (auto [line, fraction] : rows) {
        SCOPED_TRACE(line);
        EXPECT_EQ(VideoEncoder::passFraction(line, 10), fraction);
    }
}

} // namespace
} // namespace quillmorph
