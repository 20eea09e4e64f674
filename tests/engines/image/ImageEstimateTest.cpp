#include "engines/image/ImageEstimate.h"

#include "engines/image/ImageEngine.h"
#include "tests/engines/image/CodecTestSupport.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(ImageEstimate, RatioOfTheFirstFileTimesTheTotal) {
    const std::optional<double> ratio = ImageEstimate::estimatedRatio(500'000, 2'000'000);
    EXPECT_EQ(ratio, 0.25);
    EXPECT_EQ(ImageEstimate::estimatedBytes(ratio, 6'000'000), 1'500'000);
    // Truncated, not rounded.
    EXPECT_EQ(ImageEstimate::estimatedBytes(ImageEstimate::estimatedRatio(2, 3), 100), 66);
    EXPECT_EQ(ImageEstimate::estimatedRatio(500, 0), std::nullopt);
    EXPECT_EQ(ImageEstimate::estimatedRatio(500, -1), std::nullopt);
    EXPECT_EQ(ImageEstimate::estimatedBytes(std::nullopt, 6'000'000), std::nullopt);
}

TEST(ImageEstimate, SampleBytesAreThoseOfTheResizedEncoding) {
    const Bitmap sample = testing::makeBitmap(200, 100, false, [](int x, int y) {
        return testing::Pixel{std::uint8_t(x), std::uint8_t(y * 2), std::uint8_t(x ^ y), 255};
    });
    const ImageSettings settings{
        .format = ImageFormat::jpg, .sizing = FrameSizing::fit(100, 100), .quality = 0.6};
    const auto resized = ImageEngine::resize(sample, settings.sizing);
    ASSERT_TRUE(resized.has_value());
    EXPECT_EQ(ImageEstimate::sampleBytes(sample, settings),
              std::int64_t(ImageEngine::encode(*resized, settings.format, settings.quality)->size()));
    const ImageSettings unusable{
        .format = ImageFormat::png, .sizing = FrameSizing::untouched(), .quality = 0.5};
    EXPECT_EQ(ImageEstimate::sampleBytes(Bitmap(0, 0, false, std::vector<std::uint8_t>{}), unusable),
              std::nullopt);
    // A newer estimate stops this one: libvips' savers are killed, the others not started.
    std::stop_source stopped;
    stopped.request_stop();
    for (const ImageFormat format : {ImageFormat::jpg, ImageFormat::png, ImageFormat::avif, ImageFormat::webp}) {
        SCOPED_TRACE(toString(format));
        EXPECT_EQ(ImageEstimate::sampleBytes(sample, {.format = format, .sizing = settings.sizing, .quality = 0.6},
                                             stopped.get_token()),
                  std::nullopt);
    }
}

} // namespace
} // namespace quillmorph
