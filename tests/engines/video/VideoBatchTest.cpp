#include "engines/video/VideoBatch.h"

#include "common/Localization.h"
#include "engines/video/FFmpegTool.h"
#include "engines/video/NativeVideoEngine.h"
#include "engines/video/VideoEncoder.h"
#include "engines/video/VideoEngines.h"
#include "tests/engines/process/ProcessChecks.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;

class VideoBatchTest : public ::testing::Test {
  protected:
    void SetUp() override { Localization::setLanguage("en"); }

    std::vector<JobOutcome> run(const std::vector<fs::path>& files) {
        return m_batch.run(
            files, {.sizing = FrameSizing::fit(160, 160), .videoBitrate = 300},
            [this](std::size_t done, std::size_t total, std::optional<double> fraction,
                   const std::string& label) {
                if (!fraction)
                    m_started.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + label);
                else if (m_stopWhileEncoding)
                    m_batch.stop();
            },
            testing::inlineExecutor);
    }

    testing::TemporaryDirectory m_folder;
    VideoBatch m_batch{[] { return std::make_unique<NativeVideoEngine>(); }, NativeVideoEngine::probe};
    std::vector<std::string> m_started;
    bool m_stopWhileEncoding = false;
};

TEST_F(VideoBatchTest, ConvertsEachFileAndKeepsGoingPastFailures) {
    testing::writeFile(m_folder / "notes.mp4", "not a video");
    testing::writeFile(m_folder / "last-converted.mp4", "earlier");
    std::vector<fs::path> files{testing::copyClip(Clip::colours, m_folder.path(), "first.mp4"),
                                m_folder / "notes.mp4",
                                testing::copyClip(Clip::rotated, m_folder.path(), "last.mp4")};
    auto outcomes = run(files);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].output, m_folder / "first-converted.mp4");
    EXPECT_EQ(outcomes[0].originalBytes, std::int64_t(fs::file_size(files[0])));
    EXPECT_EQ(outcomes[0].outputBytes, std::int64_t(fs::file_size(m_folder / "first-converted.mp4")));
    EXPECT_EQ(outcomes[1].error, "Could not read the video “notes.mp4”.");
    EXPECT_EQ(outcomes[2].output, m_folder / "last-converted-1.mp4") << "the taken name is kept";
    EXPECT_EQ(testing::readFile(m_folder / "last-converted.mp4"), "earlier");
    EXPECT_EQ(m_started, (std::vector<std::string>{"0/3 first.mp4", "1/3 notes.mp4", "2/3 last.mp4"}));
    EXPECT_EQ(testing::namesIn(m_folder.path()).size(), 6u);
}

TEST_F(VideoBatchTest, StopCancelsTheRunningFileAndStartsNoOther) {
    int descriptorsBefore = testing::openDescriptorCount();
    std::vector<fs::path> files{testing::copyClip(Clip::colours, m_folder.path(), "a.mp4"),
                                testing::copyClip(Clip::colours, m_folder.path(), "b.mp4")};
    m_stopWhileEncoding = true;
    auto outcomes = run(files);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].error, Localization::string(Phrase::errorVideoCancelled));
    EXPECT_EQ(testing::namesIn(m_folder.path()), (std::vector<std::string>{"a.mp4", "b.mp4"}));
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
    m_batch.stop(); // again, with nothing running
    EXPECT_TRUE(m_batch.wasStopped());
    EXPECT_TRUE(run(files).empty()) << "a stopped batch does nothing";
}

TEST(VideoEngines, ChooseByFFmpegAvailability) {
    testing::TemporaryDirectory empty;
    setenv("QUILLMORPH_CONFIG_DIR", empty.path().c_str(), 1); // no stored switch
    const VideoInfo hdr{.isHDR = true};
    FFmpegTool::setSearchFolders(std::vector{empty.path().string()});
    EXPECT_NE(dynamic_cast<NativeVideoEngine*>(VideoEngines::make().get()), nullptr);
    EXPECT_EQ(VideoEngines::blocked({.container = VideoContainer::webm}, hdr),
              VideoEngineError::Missing::container);
    EXPECT_EQ(VideoEngines::blocked({}, hdr), VideoEngineError::Missing::hdr);
    EXPECT_EQ(VideoEngines::blocked({}, {}), std::nullopt);
    EXPECT_EQ(VideoEngines::probe(testing::clip(Clip::colours))->codec, "avc1") << "the in-process probe";

    FFmpegTool::setSearchFolders(std::nullopt);
    ASSERT_TRUE(FFmpegTool::isAvailable());
    EXPECT_NE(dynamic_cast<VideoEncoder*>(VideoEngines::make().get()), nullptr);
    EXPECT_EQ(VideoEngines::blocked({.container = VideoContainer::webm}, hdr), std::nullopt);
    EXPECT_EQ(VideoEngines::probe(testing::clip(Clip::colours))->codec, "h264") << "ffprobe";
}

} // namespace
} // namespace quillmorph
