#include "engines/audio/AudioSettings.h"

#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "tests/support/TemporaryDirectory.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>

namespace quillmorph {
namespace {

using Arguments = std::vector<std::string>;

const std::filesystem::path input = "/music/in.flac";
const std::filesystem::path output = "/music/in-converted.out";

Arguments head() {
    return {"-v", "error", "-n", "-i", "/music/in.flac", "-map", "0:a:0"};
}

Arguments concat(Arguments first, const Arguments& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(AudioSettings, ArgumentsForEachCase) {
    const Arguments cover{"-map", "0:v?", "-c:v", "copy", "-disposition:v", "attached_pic"};
    struct Row {
        const char* name;
        AudioSettings settings;
        AudioSource source;
        Arguments tail; // everything after the head, without the output
    };
    const Row rows[] = {
        {"mp3 keeps tags and cover",
         {.format = AudioFormat::mp3, .bitrate = 128},
         {},
         concat(concat({"-map_metadata", "0"}, cover),
                {"-c:a", "libmp3lame", "-b:a", "128k", "-id3v2_version", "3"})},
        {"mp3 stripped writes no ID3 version",
         {.format = AudioFormat::mp3, .bitrate = 320, .stripTags = true},
         {},
         {"-map_metadata", "-1", "-c:a", "libmp3lame", "-b:a", "320k"}},
        {"flac from 24 bits",
         {.format = AudioFormat::flac},
         {.bitDepth = 24},
         concat(concat({"-map_metadata", "0"}, cover),
                {"-c:a", "flac", "-sample_fmt", "s32", "-bits_per_raw_sample", "24"})},
        {"aiff keeps tags as ID3",
         {.format = AudioFormat::aiff},
         {.bitDepth = 24},
         {"-map_metadata", "0", "-c:a", "pcm_s24be", "-write_id3v2", "1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Arguments expected = concat(head(), row.tail);
        expected.push_back(output.string());
        EXPECT_EQ(row.settings.arguments(input, output, row.source), expected);
    }
}

TEST(AudioSettings, EstimatesLossyFormatsFromBitrateAndDuration) {
    AudioInfo info{.duration = 60.5, .bitrate = 900, .bitDepth = 24};
    EXPECT_EQ((AudioSettings{.format = AudioFormat::mp3, .bitrate = 128}.estimatedBytes(info)), 968'000);
    EXPECT_EQ((AudioSettings{.format = AudioFormat::opus, .bitrate = 48, .mono = true}.estimatedBytes(info)),
              363'000);
}

TEST(AudioSettings, EstimateSurvivesAbsurdProbeValues) {
    constexpr auto most = std::numeric_limits<std::int64_t>::max();
    const std::pair<double, std::int64_t> rows[] = {
        {std::nan(""), 0}, {std::numeric_limits<double>::infinity(), 0}, {-5, 0}, {1e300, most}};
    for (auto [duration, expected] : rows) {
        SCOPED_TRACE(duration);
        EXPECT_EQ(AudioSettings{.format = AudioFormat::mp3}.estimatedBytes({.duration = duration}), expected);
        EXPECT_EQ(AudioSettings{.format = AudioFormat::flac}.estimatedBytes({.duration = duration}),
                  expected);
    }
    AudioInfo hugeRate{.duration = 1e12,
                       .sampleRate = std::numeric_limits<int>::max(),
                       .channels = std::numeric_limits<int>::max()};
    EXPECT_EQ(AudioSettings{.format = AudioFormat::wav}.estimatedBytes(hugeRate),
              std::numeric_limits<std::int64_t>::max());
}

TEST(AudioSettings, FormatChangeKeepsOnlyOfferedBitrates) {
    struct Row {
        AudioFormat from;
        int bitrate;
        AudioFormat to;
        int expected;
    };
    const Row rows[] = {
        {AudioFormat::mp3, 320, AudioFormat::opus, 96},
        {AudioFormat::opus, 48, AudioFormat::aac, 160},
        {AudioFormat::mp3, 128, AudioFormat::opus, 128},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(toString(row.from)) + " → " + std::string(toString(row.to)));
        AudioSettings settings{.format = row.from, .bitrate = row.bitrate, .mono = true};
        AudioSettings changed = settings.withFormat(row.to);
        EXPECT_EQ(changed, (AudioSettings{.format = row.to, .bitrate = row.expected, .mono = true}));
    }
}

TEST(AudioSettings, LosslessTextNamesTheOutputDepth) {
    EXPECT_EQ(losslessText(std::nullopt), Localization::string(Phrase::audioLossless, {{"bits", "16"}}));
    EXPECT_EQ(losslessText(32), Localization::string(Phrase::audioLossless, {{"bits", "24"}}));
}

// Points the user defaults at a fresh folder for the duration of a test.
class StoredFormat : public ::testing::Test {
  protected:
    void SetUp() override { setenv("QUILLMORPH_CONFIG_DIR", m_folder.path().c_str(), 1); }
    void TearDown() override { unsetenv("QUILLMORPH_CONFIG_DIR"); }

    testing::TemporaryDirectory m_folder;
};

TEST_F(StoredFormat, InitialSettingsFollowTheLastStoredChoice) {
    EXPECT_EQ(AudioSettings::initial(), (AudioSettings{.format = AudioFormat::mp3, .bitrate = 192}));
    AudioSettings chosen = chooseFormat(AudioSettings{.bitrate = 320}, AudioFormat::opus);
    EXPECT_EQ(chosen, (AudioSettings{.format = AudioFormat::opus, .bitrate = 96}));
    EXPECT_EQ(AudioSettings::initial(), (AudioSettings{.format = AudioFormat::opus, .bitrate = 192}));
    for (const char* unknown : {"Opus", "m4a"}) {
        SCOPED_TRACE(unknown);
        ASSERT_TRUE(UserDefaults::setString("audio.format", unknown));
        EXPECT_EQ(AudioSettings::initial(), (AudioSettings{.format = AudioFormat::mp3, .bitrate = 192}));
    }
}

} // namespace
} // namespace quillmorph
