#include "engines/image/ImageEstimate.h"

#include "engines/image/ImageEngine.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(ImageEstimate, RatioOfTheFirstFileTimesTheTotal) {
    EXPECT_EQ(ImageEstimate::estimatedRatio(500'000, 2'000'000), 0.25);
    EXPECT_EQ(ImageEstimate::estimatedBytes(0.25, 6'000'000), 1'500'000);
    // Truncated, not rounded.
    EXPECT_EQ(ImageEstimate::estimatedBytes(ImageEstimate::estimatedRatio(2, 3), 100), 66);
    EXPECT_EQ(ImageEstimate::estimatedRatio(500, 0), std::nullopt);
    EXPECT_EQ(ImageEstimate::estimatedRatio(500, -1), std::nullopt);
    EXPECT_EQ(ImageEstimate::estimatedBytes(std::nullopt, 6'000'000), std::nullopt);
}

// A newer estimate stops this one: libvips' savers are killed, the others not started.
TEST(ImageEstimate, SampleBytesAreThoseOfTheResizedEncoding) {
    const Bitmap sample = testing::photoBitmap(200, 100);
    const auto resized = ImageEngine::resize(sample, FrameSizing::fit(100, 100));
    std::stop_source stopped;
    stopped.request_stop();
    for (const ImageFormat format : allCases<ImageFormat>()) {
        SCOPED_TRACE(toString(format));
        const ImageSettings settings{.format = format, .sizing = FrameSizing::fit(100, 100), .quality = 0.6};
        EXPECT_EQ(ImageEstimate::sampleBytes(sample, settings),
                  std::int64_t(ImageEngine::encode(*resized, format, settings.quality)->size()));
        EXPECT_EQ(ImageEstimate::sampleBytes(sample, settings, stopped.get_token()), std::nullopt);
    }
}

} // namespace
} // namespace quillmorph
