#include "AudioMedia.h"
#include "engines/audio/AudioEngine.h"
#include "engines/batch/BatchRunner.h"
#include "engines/output/FileNaming.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using AudioJob = testing::AudioTest;

TEST_F(AudioJob, ExtractsWhatItCanAndNamesWhatFails) {
    const BatchRunner::Files files{copy(m_media.videoSound), copy(m_media.videoSilent), copy(m_media.text)};
    std::vector<std::size_t> progress;
    std::mutex progressMutex;
    auto outcomes =
        BatchRunner::runAudio(files, {.format = AudioFormat::mp3, .bitrate = 128}, AudioOrigin::videos,
                              [&](std::size_t done, std::size_t total) {
                                  std::lock_guard lock(progressMutex);
                                  EXPECT_EQ(total, 3u);
                                  progress.push_back(done);
                              },
                              {});
    EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2, 3}));
    ASSERT_EQ(outcomes.size(), 3u);

    EXPECT_EQ(outcomes[0].source, files[0]);
    ASSERT_TRUE(outcomes[0].succeeded()) << *outcomes[0].error;
    EXPECT_EQ(outcomes[0].output, m_folder / "clip-converted.mp3");
    EXPECT_EQ(outcomes[0].originalBytes, FileNaming::byteCount(files[0]));
    EXPECT_EQ(outcomes[0].outputBytes, FileNaming::byteCount(m_folder / "clip-converted.mp3"));
    EXPECT_EQ(testing::audioStream(m_folder / "clip-converted.mp3").codec, "mp3");
    // MP3 keeps a cover, but the video's own picture track is no cover.
    EXPECT_EQ(testing::pictureStreams(m_folder / "clip-converted.mp3"), 0);

    const JobOutcome expectedFailures[] = {
        {.source = files[1],
         .originalBytes = FileNaming::byteCount(files[1]),
         .error = describe(AudioEngineError::noAudioTrack(files[1]))},
        {.source = files[2],
         .originalBytes = FileNaming::byteCount(files[2]),
         .error = describe(AudioEngineError::unreadable(files[2]))},
    };
    EXPECT_EQ(outcomes[1], expectedFailures[0]);
    EXPECT_EQ(outcomes[2], expectedFailures[1]);
    EXPECT_EQ(testing::namesIn(m_folder.path()),
              (std::vector<std::string>{"clip-converted.mp3", "clip.mp4", "notes.mp3", "silent.mp4"}));
}

// Two sources of the same name pick the same destination at once; the second to finish moves on.
TEST_F(AudioJob, SourcesOfTheSameNameNeverShareAnOutput) {
    fs::copy_file(m_media.wav16, m_folder / "tone.wav");
    fs::copy_file(m_media.flac24, m_folder / "tone.flac");
    const BatchRunner::Files files{m_folder / "tone.wav", m_folder / "tone.flac"};
    auto outcomes =
        BatchRunner::runAudio(files, {.format = AudioFormat::flac}, AudioOrigin::audioFiles, {}, {});
    ASSERT_EQ(outcomes.size(), 2u);
    for (const JobOutcome& outcome : outcomes)
        ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
    std::vector<fs::path> outputs{*outcomes[0].output, *outcomes[1].output};
    std::ranges::sort(outputs);
    EXPECT_EQ(outputs,
              (std::vector<fs::path>{m_folder / "tone-converted-1.flac", m_folder / "tone-converted.flac"}));
    // Each output is its own source's: mono 16-bit from the WAV, stereo 24-bit from the FLAC.
    EXPECT_EQ(testing::audioStream(*outcomes[0].output).channels, 1);
    EXPECT_EQ(testing::audioStream(*outcomes[1].output).bitsPerRawSample, "24");
}

} // namespace
} // namespace quillmorph
