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

TEST(AudioSettings, EstimatesSurviveAbsurdProbeValues) {
    constexpr auto most = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ((AudioSettings{.format = AudioFormat::mp3, .bitrate = 128}.estimatedBytes({.duration = 60.5})),
              968'000);
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
    EXPECT_EQ(AudioSettings{.format = AudioFormat::wav}.estimatedBytes(hugeRate), most);
}

TEST(AudioSettings, FormatChangeKeepsOnlyOfferedBitrates) {
    const std::tuple<AudioFormat, int, AudioFormat, int> rows[] = {
        {AudioFormat::opus, 48, AudioFormat::aac, 160},
        {AudioFormat::mp3, 128, AudioFormat::opus, 128},
    };
    for (auto [from, bitrate, to, expected] : rows) {
        SCOPED_TRACE(std::string(toString(from)) + " → " + std::string(toString(to)));
        EXPECT_EQ((AudioSettings{.format = from, .bitrate = bitrate, .mono = true}.withFormat(to)),
                  (AudioSettings{.format = to, .bitrate = expected, .mono = true}));
    }
    EXPECT_EQ(losslessText(std::nullopt), Localization::string(Phrase::audioLossless, {{"bits", "16"}}));
    EXPECT_EQ(losslessText(32), Localization::string(Phrase::audioLossless, {{"bits", "24"}}));
}

// With fresh user defaults: mp3 until a format is chosen, then the stored choice while it is one.
TEST(AudioSettings, InitialSettingsFollowTheLastStoredChoice) {
    testing::TemporaryDirectory config;
    setenv("QUILLMORPH_CONFIG_DIR", config.path().c_str(), 1);
    EXPECT_EQ(AudioSettings::initial(), (AudioSettings{.format = AudioFormat::mp3, .bitrate = 192}));
    AudioSettings chosen = chooseFormat(AudioSettings{.bitrate = 320}, AudioFormat::opus);
    EXPECT_EQ(chosen, (AudioSettings{.format = AudioFormat::opus, .bitrate = 96}));
    EXPECT_EQ(AudioSettings::initial(), (AudioSettings{.format = AudioFormat::opus, .bitrate = 192}));
    ASSERT_TRUE(UserDefaults::setString("audio.format", "Opus"));
    EXPECT_EQ(AudioSettings::initial(), (AudioSettings{.format = AudioFormat::mp3, .bitrate = 192}));
    unsetenv("QUILLMORPH_CONFIG_DIR");
}

} // namespace
} // namespace quillmorph
