#include "engines/video/VideoInfo.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(VideoInfo, DurationLabelRoundsToWholeSeconds) {
    const std::pair<double, const char*> rows[] = {
        {0, "0s"},
        {59.4, "59s"},
        {59.5, "1m 0s"},
        {3725, "62m 5s"},
    };
    for (auto [duration, label] : rows) {
        SCOPED_TRACE(duration);
        EXPECT_EQ((VideoInfo{.duration = duration}).durationLabel(), label);
    }
}

} // namespace
} // namespace quillmorph
