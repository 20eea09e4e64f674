#include "engines/image/WebPEncoder.h"

#include "tests/engines/image/CodecTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace quillmorph {
namespace {

using testing::makeBitmap;
using testing::Pixel;
using Bytes = std::vector<std::uint8_t>;

// The first chunk's type inside the RIFF "WEBP" container, then "+ALPH" when an alpha chunk follows.
std::string layout(const Bytes& webp) {
    const std::string file(webp.begin(), webp.end());
    EXPECT_TRUE(file.starts_with("RIFF") && file.substr(8, 4) == "WEBP");
    return file.substr(12, 4) + (file.find("ALPH") == std::string::npos ? "" : "+ALPH");
}

// A smooth 47 × 33 picture; RGBX with a filler byte that must not be read as alpha, or premultiplied at
// alphas from 40 to 255, where straight and premultiplied colours are far apart.
Bitmap picture(bool translucent) {
    return makeBitmap(47, 33, translucent, [&](int x, int y) {
        const int alpha = translucent ? 40 + (x * 5 + y) % 216 : 255;
        const int straight[3] = {x * 5, y * 7, 128 + (x - y)};
        Pixel pixel{0, 0, 0, std::uint8_t(translucent ? alpha : 0)};
        for (int channel = 0; channel < 3; ++channel)
            pixel[std::size_t(channel)] = std::uint8_t(straight[channel] * alpha / 255);
        return pixel;
    });
}

double meanDifference(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

// Lossless from 0.99 up, exact in straight colours; lossy below, colours near the straight ones (which
// differ from the premultiplied ones by far more) and alpha always exact.
TEST(WebPEncoder, KeepsStraightColoursExactlyFrom099AndNearlyBelow) {
    for (bool translucent : {false, true}) {
        for (double quality : {1.0, 0.99, 0.989, 0.75, 0.05}) {
            SCOPED_TRACE(std::string(translucent ? "translucent" : "opaque") + " at " +
                         std::to_string(quality));
            const Bitmap image = picture(translucent);
            const auto webp = WebPEncoder::encode(image, quality);
            ASSERT_TRUE(webp);
            const auto decoded = testing::decode(*webp);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->width, 47);
            EXPECT_EQ(decoded->height, 33);
            const Bytes straight = *image.unpremultipliedRGBA();
            if (quality >= 0.99) {
                ASSERT_EQ(layout(*webp), "VP8L");
                // The VP8L header's alpha_is_used bit follows 1 signature byte and two 14-bit sizes.
                EXPECT_EQ(bool(webp->at(24) & 0x10), translucent);
                EXPECT_TRUE(decoded->rgba == straight) << "decoded pixels differ";
                continue;
            }
            EXPECT_EQ(layout(*webp), translucent ? "VP8X+ALPH" : "VP8 ");
            ASSERT_EQ(decoded->rgba.size(), straight.size());
            for (std::size_t alpha = 3; alpha < straight.size(); alpha += 4)
                ASSERT_EQ(decoded->rgba[alpha], straight[alpha]);
            EXPECT_LT(meanDifference(decoded->rgba, straight), quality > 0.9 ? 2.0 : 12.0);
        }
    }
    for (double quality : {0.5, 1.0})
        EXPECT_EQ(WebPEncoder::encode(Bitmap(0, 0, false, Bytes{}), quality),
                  tl::unexpected(ImageEngineError::encodingFailed(ImageFormat::webp)));
}

} // namespace
} // namespace quillmorph
