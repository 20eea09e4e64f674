#include "engines/video/VideoInfo.h"

#include "common/Localization.h"

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

} // namespace
} // namespace quillmorph
