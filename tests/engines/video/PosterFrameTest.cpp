#include "engines/video/PosterFrame.h"

#include "common/Localization.h"
#include "engines/video/FFmpegTool.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

TEST(PosterFrame, ParsesSecondsMinutesAndHours) {
    const std::pair<std::string_view, std::optional<double>> rows[] = {
        {"00:00:00", 0},      {"0:1:5", 65},          {"1,5", 1.5},
        {" 1:30.5 \t", 90.5}, {"1:-2", std::nullopt}, {"1:2:3:4", std::nullopt},
        {"", std::nullopt},   {"inf", std::nullopt},  {"1 :2", std::nullopt},
    };
    for (auto [text, seconds] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(PosterFrame::parseTime(text), seconds);
    }
    // ffmpeg reads times in fixed notation only, and before the input they seek fast.
    EXPECT_EQ(PosterFrame::extractArguments("in", 12, "out", false)[4], "12.0");
    EXPECT_EQ(PosterFrame::extractArguments("in", 0.00001, "out", false)[4], "0.00001");
    EXPECT_EQ(PosterFrame::extractArguments("in", 1, "out", false)[5], "-i");
}

TEST(PosterFrame, FallsBackToTheFFmpegProgram) {
    Localization::setLanguage("en");
    testing::TemporaryDirectory folder;
    fs::path colours = testing::copyClip(testing::Clip::colours, folder.path(), "clip.mp4");
    testing::writeFile(folder / "silent-ffmpeg", "#!/bin/sh\nexit 0\n");
    testing::writeFile(folder / "none.png", ""); // as created for it
    fs::permissions(folder / "silent-ffmpeg", fs::perms::owner_all);
    EXPECT_EQ(PosterFrame::extract(folder / "silent-ffmpeg", colours, 1, folder / "none.png"),
              tl::unexpected(PosterError::noFrame()))
        << "exit 0 without a file is no poster";
    auto unstartable = PosterFrame::extract(folder / "missing-ffmpeg", colours, 1, folder / "none.png");
    ASSERT_FALSE(unstartable);
    EXPECT_EQ(describe(unstartable.error()),
              (folder / "missing-ffmpeg").string() + ": No such file or directory");

    // Without any ffmpeg an undecodable file is simply no frame.
    testing::writeFile(folder / "notes.mp4", "not a video");
    FFmpegTool::setSearchFolders(std::vector{folder.path().string()});
    EXPECT_EQ(PosterFrame::make({folder / "notes.mp4"}, 0, 0), tl::unexpected(PosterError::noFrame()));
    FFmpegTool::setSearchFolders(std::nullopt);
}

} // namespace
} // namespace quillmorph
