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
    // As a user runs it: English texts, no stored preferences, ffmpeg from `bin` when the test put one there.
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

    testing::TemporaryDirectory m_folder;
};

// Ctrl-C, a hang-up and a termination request stop alike.
TEST_F(VideoCommand, ATerminationRequestCancelsTheRunningFileAndKeepsTheFinishedOnes) {
    // An ffmpeg that finishes at once, except on "slow.mp4", where it says so and hangs.
    fs::create_directories(m_folder / "bin");
    testing::writeFile(m_folder / "bin" / "ffmpeg", "#!/bin/sh\nfor argument; do output=$argument; done\n"
                                                    "echo partial > \"$output\"\n"
                                                    "case \"$*\" in *slow*) : > '" +
                                                        (m_folder / "bin" / "hanging").string() +
                                                        "'; sleep 60;; esac\n");
    fs::permissions(m_folder / "bin" / "ffmpeg", fs::perms::owner_all);
    fs::create_symlink("/usr/bin/ffprobe", m_folder / "bin" / "ffprobe");
    std::vector<std::string> line{"video"};
    for (const char* name : {"first.mp4", "slow.mp4", "third.mp4"})
        line.push_back(testing::copyClip(Clip::colours, m_folder.path(), name).string());
    line = command(line);
    std::string printed;
    auto cli = ChildProcess::start({.program = "/usr/bin/env",
                                    .arguments = {line.begin() + 1, line.end()},
                                    .onOutput = [&printed](std::string_view bytes) { printed.append(bytes); },
                                    .onError = {}});
    ASSERT_TRUE(cli);
    while (!fs::exists(m_folder / "bin" / "hanging"))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cli->terminate();
    EXPECT_EQ(cli->wait(), (ChildProcess::Exit{.kind = ChildProcess::Exit::Kind::exited, .code = 1}));
    EXPECT_EQ(printed, "Video compression cancelled. Finished files were kept.\n");
    EXPECT_EQ(testing::namesIn(m_folder.path()),
              (std::vector<std::string>{"bin", "first-converted.mp4", "first.mp4", "slow.mp4", "third.mp4"}));
    EXPECT_NE(testing::runTool({"pgrep", "-f", (m_folder / "bin" / "ffmpeg").string()}).exitCode, 0)
        << "no ffmpeg left running";
}

TEST_F(VideoCommand, PrintsAndExits) {
    std::string phone = testing::copyClip(Clip::phone, m_folder.path(), "clip.mp4").string();
    std::string colours = testing::copyClip(Clip::colours, m_folder.path(), "clip.mov").string();
    const std::tuple<std::vector<std::string>, int, std::string> rows[] = {
        // 2000 kbit/s for a second, plus 2 %.
        {{"video", "--preset", "web-720", "--no-audio", "--estimate", phone}, 0, "(255000 bytes)"},
        {{"poster", "--at", "0:1,5", colours}, 0, "/clip-poster.png\nSaved: clip-poster.png\n"},
        {{"poster", "--at", "1::2", colours}, 1, "Invalid time. Use a form like 1:30 or 00:01:30.\n"},
        {{"video"}, 2, ""},
        {{"video", "--preset", "tiktok", "a.mp4"}, 2, ""},
        {{"video", "--container", "mkv", "a.mp4"}, 2, ""},
        {{"video", "--bitrate", "0", "a.mp4"}, 2, ""},
        {{"video", "--engine", "gpu", "a.mp4"}, 2, ""},
        {{"poster", "a.mp4"}, 2, ""},
    };
    for (const auto& [arguments, exitCode, printed] : rows) {
        SCOPED_TRACE(arguments.size() > 1 ? arguments[1] : arguments[0]);
        testing::CommandResult result = testing::runTool(command(arguments));
        EXPECT_EQ(result.exitCode, exitCode) << result.output;
        EXPECT_NE(result.output.find(printed), std::string::npos) << result.output;
    }
}

} // namespace
} // namespace quillmorph
