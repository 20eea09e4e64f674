#pragma once

#include "tests/support/TemporaryDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace quillmorph::testing {

// Short media files made once per test program with the real ffmpeg, shared read-only by tests.
struct AudioMedia {
    std::filesystem::path flac24;      // 1 s, 48 kHz, stereo, 24-bit
    std::filesystem::path wav16;       // 1 s, 44.1 kHz, mono, 16-bit
    std::filesystem::path wavFloat;    // 1 s, 32-bit float
    std::filesystem::path wav32;       // 1 s, 32-bit integer
    std::filesystem::path mp3Cover;    // 1 s, stereo, with a title tag and an attached PNG picture
    std::filesystem::path videoSound;  // 1 s of H.264 with AAC sound
    std::filesystem::path videoSilent; // 1 s of H.264 without any audio stream
    std::filesystem::path text;        // not media at all

    static const AudioMedia& shared();
};

// Every test gets fresh, empty user defaults and the built-in ffmpeg search, and a folder to
// write into.
class AudioTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A copy of a shared file in this test's folder, so that outputs land beside it.
    [[nodiscard]] std::filesystem::path copy(const std::filesystem::path& file) const;

    const AudioMedia& m_media = AudioMedia::shared();
    TemporaryDirectory m_folder;
    TemporaryDirectory m_config;
};

struct StreamFacts {
    std::string codec;
    int channels = 0;
    std::string sampleFormat;
    std::string bitsPerRawSample;
    bool operator==(const StreamFacts&) const = default;
    friend void PrintTo(const StreamFacts& facts, std::ostream* stream) {
        *stream << facts.codec << ", " << facts.channels << " channels, " << facts.sampleFormat << ", "
                << facts.bitsPerRawSample << " raw bits";
    }
};

// What ffprobe reads back from the first audio stream, and how many picture streams there are.
[[nodiscard]] StreamFacts audioStream(const std::filesystem::path& file);
[[nodiscard]] int pictureStreams(const std::filesystem::path& file);
// A metadata tag of the container (or of the first audio stream, where Ogg keeps them).
[[nodiscard]] std::string tag(const std::filesystem::path& file, const std::string& name);
// Whether ffmpeg decodes every packet of the file without an error.
[[nodiscard]] bool decodesCleanly(const std::filesystem::path& file);

} // namespace quillmorph::testing
