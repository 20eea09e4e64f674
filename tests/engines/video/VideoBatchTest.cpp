#include "engines/video/VideoBatch.h"

#include "common/Localization.h"
#include "engines/video/FFmpegTool.h"
#include "engines/video/NativeVideoEngine.h"
#include "engines/video/VideoEncoder.h"
#include "engines/video/VideoEngines.h"
#include "tests/engines/video/Clips.h"
#include "tests/engines/video/WithoutRoot.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;
using testing::clip;
using testing::copyClip;
using testing::inlineExecutor;

struct Report {
    std::size_t done;
    std::size_t total;
    std::optional<double> fraction;
    std::string label;
    bool operator==(const Report&) const = default;
};

class VideoBatchTest : public ::testing::Test {
  protected:
    void SetUp() override { Localization::setLanguage("en"); }

    fs::path copy(Clip which, const std::string& name) {
        return testing::copyClip(which, m_folder.path(), name);
    }
    VideoBatch::Progress recorder() {
        return [this](std::size_t done, std::size_t total, std::optional<double> fraction,
                      const std::string& label) {
            m_reports.push_back({done, total, fraction, label});
        };
    }
    testing::TemporaryDirectory m_folder;
    std::vector<Report> m_reports;
};

TEST_F(VideoBatchTest, ConvertsEachFileAndKeepsGoingPastFailures) {
    testing::writeFile(m_folder / "notes.mp4", "not a video");
    testing::writeFile(m_folder / "last-converted.mp4", "earlier");
    std::vector<fs::path> files{copy(Clip::silent, "first.mp4"), m_folder / "notes.mp4",
                                copy(Clip::toneOnly, "tone.m4a"), copy(Clip::rotated, "last.mp4")};
    VideoBatch batch([] { return std::make_unique<NativeVideoEngine>(); }, NativeVideoEngine::probe);
    auto outcomes = batch.run(files, {.sizing = FrameSizing::fit(160, 160), .videoBitrate = 300}, recorder(),
                              inlineExecutor);

    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_TRUE(outcomes[0].succeeded()) << *outcomes[0].error;
    EXPECT_EQ(outcomes[0].output, m_folder / "first-converted.mp4");
    EXPECT_EQ(outcomes[0].originalBytes, std::int64_t(fs::file_size(files[0])));
    EXPECT_EQ(outcomes[0].outputBytes, std::int64_t(fs::file_size(m_folder / "first-converted.mp4")));
    EXPECT_EQ(outcomes[1].error, "Could not read the video “notes.mp4”.");
    EXPECT_EQ(outcomes[2].error, "“tone.m4a” contains no video track.");
    EXPECT_EQ(outcomes[3].output, m_folder / "last-converted-1.mp4");
    EXPECT_EQ(testing::readFile(m_folder / "last-converted.mp4"), "earlier");
    EXPECT_FALSE(batch.wasStopped());

    EXPECT_EQ(testing::namesIn(m_folder.path()),
              (std::vector<std::string>{"first-converted.mp4", "first.mp4", "last-converted-1.mp4",
                                        "last-converted.mp4", "last.mp4", "notes.mp4", "tone.m4a"}));
    ASSERT_FALSE(m_reports.empty());
    EXPECT_EQ(m_reports.front(), (Report{0, 4, std::nullopt, "first.mp4"}));
    EXPECT_EQ(m_reports.back().done, 3u);
    EXPECT_EQ(m_reports.back().label, "last.mp4");
}

TEST_F(VideoBatchTest, StoppedBeforeItStartsDoesNothing) {
    VideoBatch batch;
    batch.stop();
    EXPECT_TRUE(batch.run({copy(Clip::silent, "clip.mp4")}, {}, recorder(), inlineExecutor).empty());
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(VideoBatchTest, AnUnwritableFolderFailsTheFileWithItsReason) {
    fs::path locked = m_folder / "locked";
    fs::create_directory(locked);
    copyClip(Clip::silent, locked, "clip.mp4");
    fs::permissions(m_folder.path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    std::vector<JobOutcome> outcomes;
    {
        testing::WithoutRoot unprivileged;
        VideoBatch batch([] { return std::make_unique<NativeVideoEngine>(); }, NativeVideoEngine::probe);
        outcomes = batch.run({locked / "clip.mp4"}, {}, recorder(), inlineExecutor);
    }
    fs::permissions(locked, fs::perms::owner_all);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].error, locked.string() + ": Permission denied");
    EXPECT_EQ(std::distance(fs::directory_iterator(locked), fs::directory_iterator()), 1)
        << "only the source";
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
    auto probed = VideoEngines::probe(clip(Clip::silent));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codec, "avc1") << "the in-process probe";

    FFmpegTool::setSearchFolders(std::nullopt);
    ASSERT_TRUE(FFmpegTool::isAvailable());
    EXPECT_NE(dynamic_cast<VideoEncoder*>(VideoEngines::make().get()), nullptr);
    EXPECT_EQ(VideoEngines::blocked({.container = VideoContainer::webm}, hdr), std::nullopt);
    EXPECT_EQ(VideoEngines::probe(clip(Clip::silent))->codec, "h264") << "ffprobe";
}

} // namespace
} // namespace quillmorph
