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
using testing::Clip;
using testing::clip;

TEST(PosterFrame, ParsesSecondsMinutesAndHours) {
    const std::pair<std::string_view, std::optional<double>> rows[] = {
        {"00:00:00", 0},           {"0:1:5", 65},          {"1,5", 1.5},
        {" 1:30.5 \t", 90.5},      {"1:-2", std::nullopt}, {"1::2", std::nullopt},
        {"1:2:3:4", std::nullopt}, {"", std::nullopt},     {"inf", std::nullopt},
        {"1 :2", std::nullopt},
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

class Posters : public ::testing::Test {
  protected:
    void SetUp() override { Localization::setLanguage("en"); }
    void TearDown() override { FFmpegTool::setSearchFolders(std::nullopt); }

    fs::path video(Clip which, const std::string& name) {
        return testing::copyClip(which, m_folder.path(), name);
    }
    // The colour in the middle of a 160×120 poster.
    static std::array<int, 3> middle(const fs::path& png) {
        return testing::firstFrame(png, 160, 120).at(80, 60);
    }

    testing::TemporaryDirectory m_folder;
};

TEST_F(Posters, TakeTheExactFrameWithinTheDuration) {
    // Red for the first second, blue for the second, and one key frame at the start.
    fs::path colours = video(Clip::colours, "clip.mov");
    auto blue = PosterFrame::make({colours}, 1.5, 2.0);
    ASSERT_TRUE(blue) << describe(blue.error());
    EXPECT_EQ(*blue, std::vector<fs::path>{m_folder / "clip-poster.png"});
    EXPECT_TRUE(testing::isBlue(middle(blue->front())));

    auto red = PosterFrame::make({colours}, 0, 2.0);
    ASSERT_TRUE(red);
    EXPECT_TRUE(testing::isRed(middle(red->front())));
    EXPECT_EQ(PosterFrame::status(red), (PosterFrame::Status{"Saved: clip-poster-1.png", false}));

    auto atTheEnd = PosterFrame::make({colours}, 2.0005, 2.0);
    ASSERT_TRUE(atTheEnd) << "within a millisecond of the end, taken 0.05 s before it";
    EXPECT_TRUE(testing::isBlue(middle(atTheEnd->front())));
    auto beyond = PosterFrame::make({colours}, 2.01, 2.0);
    EXPECT_EQ(beyond, tl::unexpected(PosterError::beyondEnd(2.0)));
    EXPECT_EQ(PosterFrame::status(beyond),
              (PosterFrame::Status{"That time is past the end of the video.", true}));
    EXPECT_EQ(PosterFrame::make({colours}, 0.002, 0), tl::unexpected(PosterError::beyondEnd(0)))
        << "no duration: only the first millisecond";
}

// Several videos ignore the duration; the first failure stops them, and what was written stays.
TEST_F(Posters, SeveralVideos) {
    std::vector<fs::path> videos{video(Clip::colours, "a.mp4"), video(Clip::silent, "b.mp4"),
                                 video(Clip::rotated, "c.mp4")};
    auto made = PosterFrame::make(videos, 0.5, 0.1);
    ASSERT_TRUE(made) << describe(made.error());
    EXPECT_EQ(made->back(), m_folder / "c-poster.png");
    EXPECT_EQ(PosterFrame::status(made), (PosterFrame::Status{"Saved: 3 PNG", false}));
    testing::FramePixels upright = testing::firstFrame(made->back(), 240, 320);
    EXPECT_EQ(upright.rgb.size(), 240u * 320 * 3) << "240 × 320";
    EXPECT_TRUE(testing::isBlue(upright.at(120, 40)));
    EXPECT_TRUE(testing::isRed(upright.at(120, 280)));
    EXPECT_EQ(PosterFrame::make(videos, 1e13, 0), tl::unexpected(PosterError::beyondEnd(0)))
        << "past any duration a stream can state";

    testing::writeFile(m_folder / "notes.mp4", "not a video");
    auto failed =
        PosterFrame::make({video(Clip::silent, "first.mp4"), m_folder / "notes.mp4", videos[1]}, 0.5, 0);
    EXPECT_EQ(PosterFrame::status(failed),
              (PosterFrame::Status{"Could not extract a frame at that time.", true}));
    EXPECT_TRUE(fs::exists(m_folder / "first-poster.png"));
    EXPECT_FALSE(fs::exists(m_folder / "b-poster-1.png"));
    // A time past a video's end has no frame, through either way of taking one.
    EXPECT_EQ(PosterFrame::make({video(Clip::colours, "short.mp4"), videos[1]}, 5, 0),
              tl::unexpected(PosterError::noFrame()));
    EXPECT_FALSE(fs::exists(m_folder / "short-poster.png"));
}

TEST_F(Posters, FallBackToTheFFmpegProgram) {
    fs::path colours = video(Clip::colours, "clip.mp4");
    auto ffmpeg = FFmpegTool::path(FFmpegTool::ffmpeg);
    ASSERT_TRUE(ffmpeg);
    // The image muxer must take "%d" as part of the name, not as a frame number's place.
    ASSERT_TRUE(PosterFrame::extract(*ffmpeg, colours, 1.5, m_folder / "50%d off.png"));
    EXPECT_EQ(testing::namesIn(m_folder.path()), (std::vector<std::string>{"50%d off.png", "clip.mp4"}));
    fs::rename(m_folder / "50%d off.png", m_folder / "direct.png"); // a name ffmpeg reads back plainly
    EXPECT_TRUE(testing::isBlue(middle(m_folder / "direct.png")));

    testing::writeFile(m_folder / "silent-ffmpeg", "#!/bin/sh\nexit 0\n");
    testing::writeFile(m_folder / "none.png", ""); // as created for it
    fs::permissions(m_folder / "silent-ffmpeg", fs::perms::owner_all);
    EXPECT_EQ(PosterFrame::extract(m_folder / "silent-ffmpeg", colours, 1, m_folder / "none.png"),
              tl::unexpected(PosterError::noFrame()))
        << "exit 0 without a file is no poster";

    auto unstartable = PosterFrame::extract(m_folder / "missing-ffmpeg", colours, 1, m_folder / "none.png");
    ASSERT_FALSE(unstartable);
    EXPECT_EQ(describe(unstartable.error()),
              (m_folder / "missing-ffmpeg").string() + ": No such file or directory");

    // Without any ffmpeg an undecodable file is simply no frame.
    testing::writeFile(m_folder / "notes.mp4", "not a video");
    FFmpegTool::setSearchFolders(std::vector{m_folder.path().string()});
    EXPECT_EQ(PosterFrame::make({m_folder / "notes.mp4"}, 0, 0), tl::unexpected(PosterError::noFrame()));
}

} // namespace
} // namespace quillmorph
