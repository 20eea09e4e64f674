#include "engines/process/ChildProcess.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;

class VideoCommand : public ::testing::Test {
  protected:
    // The command line as a user runs it: English texts, no stored preferences, ffmpeg from `bin`
    // when the test put one there.
    std::vector<std::string> command(std::vector<std::string> arguments) const {
        std::vector<std::string> line{"env",
                                      "LC_ALL=C",
                                      "LANGUAGE=",
                                      "QUILLMORPH_CONFIG_DIR=" + (m_folder / ".config").string(),
                                      "QUILLMORPH_FFMPEG_DIR=" + (m_folder / "bin").string(),
                                      QUILLMORPH_CLI};
        line.insert(line.end(), arguments.begin(), arguments.end());
        return line;
    }
    fs::path copy(Clip which, const std::string& name) const {
        return testing::copyClip(which, m_folder.path(), name);
    }

    testing::TemporaryDirectory m_folder;
};

// Ctrl-C, a hang-up and a termination request stop alike.
TEST_F(VideoCommand, ATerminationRequestCancelsTheRunningFileAndKeepsTheFinishedOnes) {
    // An ffmpeg that finishes at once, except on "slow.mp4", where it says so and hangs.
    fs::create_directories(m_folder / "bin");
    testing::writeFile(m_folder / "bin" / "ffmpeg", "#!/bin/sh\nfor argument; do output=$argument; done\n"
                                                    "echo partial > \"$output\"\n"
                                                    "case \"$*\" in *slow*) : > '" +
                                                        (m_folder / "hanging").string() +
                                                        "'; sleep 60;; esac\n");
    fs::permissions(m_folder / "bin" / "ffmpeg", fs::perms::owner_all);
    fs::create_symlink("/usr/bin/ffprobe", m_folder / "bin" / "ffprobe");
    std::vector<std::string> line{"video"};
    for (const char* name : {"first.mp4", "slow.mp4", "third.mp4"})
        line.push_back(testing::copyClip(Clip::silent, m_folder.path(), name).string());
    line = command(line);
    std::string printed;
    auto cli = ChildProcess::start({.program = "/usr/bin/env",
                                    .arguments = {line.begin() + 1, line.end()},
                                    .onOutput = [&printed](std::string_view bytes) { printed.append(bytes); },
                                    .onError = {}});
    ASSERT_TRUE(cli);
    while (!fs::exists(m_folder / "hanging"))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cli->terminate();
    EXPECT_EQ(cli->wait(), (ChildProcess::Exit{.kind = ChildProcess::Exit::Kind::exited, .code = 1}));
    EXPECT_EQ(printed, "Video compression cancelled. Finished files were kept.\n");
    fs::remove(m_folder / "hanging");
    EXPECT_EQ(testing::namesIn(m_folder.path()),
              (std::vector<std::string>{"bin", "first-converted.mp4", "first.mp4", "slow.mp4", "third.mp4"}));
    EXPECT_NE(testing::runTool({"pgrep", "-f", (m_folder / "bin" / "ffmpeg").string()}).exitCode, 0)
        << "no ffmpeg left running";
}

TEST_F(VideoCommand, EstimatesAndRejectsBadOptions) {
    copy(Clip::landscape, "clip.mp4");
    testing::CommandResult estimate = testing::runTool(command(
        {"video", "--preset", "web-720", "--no-audio", "--estimate", (m_folder / "clip.mp4").string()}));
    EXPECT_EQ(estimate.exitCode, 0) << estimate.output;
    // 2000 kbit/s for a second, plus 2 %.
    EXPECT_NE(estimate.output.find("(255000 bytes)"), std::string::npos) << estimate.output;

    const std::vector<std::vector<std::string>> rows = {
        {"video"},
        {"video", "--preset", "tiktok", "a.mp4"},
        {"video", "--container", "mkv", "a.mp4"},
        {"video", "--bitrate", "0", "a.mp4"},
        {"video", "--fit", "100x", "a.mp4"},
        {"video", "--engine", "gpu", "a.mp4"},
        {"poster", "a.mp4"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size() > 1 ? row[1] : row[0]);
        EXPECT_EQ(testing::runTool(command(row)).exitCode, 2);
    }
}

TEST_F(VideoCommand, PosterSavesAPNGBesideTheVideo) {
    fs::path video = copy(Clip::colours, "clip.mov");
    testing::CommandResult saved = testing::runTool(command({"poster", "--at", "0:1,5", video.string()}));
    EXPECT_EQ(saved.exitCode, 0) << saved.output;
    EXPECT_EQ(saved.output, (m_folder / "clip-poster.png").string() + "\nSaved: clip-poster.png\n");

    testing::CommandResult garbled = testing::runTool(command({"poster", "--at", "1::2", video.string()}));
    EXPECT_EQ(garbled.exitCode, 1);
    EXPECT_EQ(garbled.output, "Invalid time. Use a form like 1:30 or 00:01:30.\n");
}

} // namespace
} // namespace quillmorph
