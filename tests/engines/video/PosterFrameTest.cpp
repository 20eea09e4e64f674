#include "engines/video/PosterFrame.h"

#include "common/Localization.h"
#include "engines/video/FFmpegTool.h"
#include "tests/engines/video/Clips.h"
#include "tests/engines/video/FramePixels.h"
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
}

TEST(PosterFrame, ExtractArgumentsSeekBeforeTheInput) {
    EXPECT_EQ(PosterFrame::extractArguments("/v/clip.mov", 12, "/v/clip-poster.png"),
              (std::vector<std::string>{"-v", "error", "-ss", "12.0", "-i", "/v/clip.mov", "-frames:v", "1",
                                        "-compression_level", "0", "/v/clip-poster.png"}));
    EXPECT_EQ(PosterFrame::extractArguments("in", 0.00001, "out")[3], "0.00001");
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

TEST_F(Posters, SeveralVideosIgnoreTheDurationAndReportTheirCount) {
    std::vector<fs::path> videos{video(Clip::colours, "a.mp4"), video(Clip::silent, "b.mp4"),
                                 video(Clip::rotated, "c.mp4")};
    auto made = PosterFrame::make(videos, 0.5, 0.1);
    ASSERT_TRUE(made) << describe(made.error());
    EXPECT_EQ(*made, (std::vector<fs::path>{m_folder / "a-poster.png", m_folder / "b-poster.png",
                                            m_folder / "c-poster.png"}));
    EXPECT_EQ(PosterFrame::status(made), (PosterFrame::Status{"Saved: 3 PNG", false}));
    testing::FramePixels upright = testing::firstFrame(made->back(), 240, 320);
    EXPECT_EQ(upright.rgb.size(), 240u * 320 * 3) << "240 × 320";
    EXPECT_TRUE(testing::isBlue(upright.at(120, 40)));
    EXPECT_TRUE(testing::isRed(upright.at(120, 280)));
}

TEST_F(Posters, StopAtTheFirstFailureAndKeepWhatWasWritten) {
    testing::writeFile(m_folder / "notes.mp4", "not a video");
    std::vector<fs::path> videos{video(Clip::silent, "first.mp4"), m_folder / "notes.mp4",
                                 video(Clip::silent, "third.mp4")};
    auto made = PosterFrame::make(videos, 0.5, 0);
    EXPECT_EQ(made, tl::unexpected(PosterError::noFrame()));
    EXPECT_EQ(PosterFrame::status(made),
              (PosterFrame::Status{"Could not extract a frame at that time.", true}));
    EXPECT_TRUE(fs::exists(m_folder / "first-poster.png"));
    EXPECT_FALSE(fs::exists(m_folder / "notes-poster.png"));
    EXPECT_FALSE(fs::exists(m_folder / "third-poster.png"));

    // A time past a video's end has no frame, through either way of taking one.
    auto pastTheEnd = PosterFrame::make({video(Clip::colours, "short.mp4"), videos[0]}, 5, 0);
    EXPECT_EQ(pastTheEnd, tl::unexpected(PosterError::noFrame()));
    EXPECT_FALSE(fs::exists(m_folder / "short-poster.png"));
}

TEST_F(Posters, FallBackToTheFFmpegProgram) {
    fs::path colours = video(Clip::colours, "clip.mp4");
    auto ffmpeg = FFmpegTool::path(FFmpegTool::ffmpeg);
    ASSERT_TRUE(ffmpeg);
    ASSERT_TRUE(PosterFrame::extract(*ffmpeg, colours, 1.5, m_folder / "direct.png"));
    EXPECT_TRUE(testing::isBlue(middle(m_folder / "direct.png")));

    testing::writeFile(m_folder / "silent-ffmpeg", "#!/bin/sh\nexit 0\n");
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
