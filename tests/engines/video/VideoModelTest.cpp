#include "common/Localization.h"
#include "engines/video/VideoEngineError.h"
#include "engines/video/VideoEstimate.h"
#include "engines/video/VideoSettings.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(VideoInfo, DurationLabelRoundsToWholeSecondsInTheLanguageShown) {
    const std::tuple<const char*, double, const char*> rows[] = {
        {"en", 0, "0s"},        {"en", 59.4, "59s"},          {"en", 59.5, "1m 0s"},
        {"en", 3725, "62m 5s"}, {"de", 90, "1 Min. 30 Sek."},
    };
    for (auto [language, duration, label] : rows) {
        SCOPED_TRACE(duration);
        Localization::setLanguage(language);
        EXPECT_EQ((VideoInfo{.duration = duration}).durationLabel(), label);
    }
}

TEST(VideoSettings, EstimatesBitRateTimesDurationPlusContainerOverhead) {
    VideoInfo tenSeconds{.width = 1920, .height = 1080, .duration = 10, .hasAudio = true};
    EXPECT_EQ(VideoSettings{}.estimatedBytes(tenSeconds), 7'894'800);

    VideoInfo silent = tenSeconds;
    silent.hasAudio = false;
    EXPECT_EQ(VideoSettings{}.estimatedBytes(silent), 7'650'000) << "audio wanted, none there";
    EXPECT_EQ((VideoSettings{.includeAudio = false}).estimatedBytes(tenSeconds), 7'650'000);
    EXPECT_EQ(VideoSettings{}.estimatedBytes(VideoInfo{.hasAudio = true}), 0) << "no duration";
    EXPECT_EQ(VideoEstimate::estimatedBytes(VideoSettings{}, tenSeconds, 3), 23'684'400)
        << "the first stands for all";
}

TEST(VideoEngineError, TextsComeFromTheCatalogue) {
    Localization::setLanguage("en");
    std::filesystem::path clip = "/videos/holiday clip.mov";
    struct Row {
        const char* name;
        VideoEngineError error;
        std::string text;
    };
    const Row rows[] = {
        {"ffmpeg's message", VideoEngineError::encodeFailed(clip, "Unknown encoder 'libx264'"),
         "Unknown encoder 'libx264'"},
        {"engine said nothing", VideoEngineError::encodingFailed(clip, ""),
         "Could not compress “holiday clip.mov”."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(describe(row.error), row.text);
    }
}

} // namespace
} // namespace quillmorph
