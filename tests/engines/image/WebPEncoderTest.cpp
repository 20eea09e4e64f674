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

struct Chunk {
    std::string type;
    Bytes data;
};

// The chunks inside the RIFF "WEBP" container.
std::vector<Chunk> chunksOf(const Bytes& webp) {
    EXPECT_TRUE(webp.size() >= 12 && std::string(webp.begin(), webp.begin() + 4) == "RIFF" &&
                std::string(webp.begin() + 8, webp.begin() + 12) == "WEBP");
    std::vector<Chunk> chunks;
    for (std::size_t offset = 12; offset + 8 <= webp.size();) {
        const std::uint32_t size = webp[offset + 4] | webp[offset + 5] << 8 | webp[offset + 6] << 16 |
                                   std::uint32_t(webp[offset + 7]) << 24;
        if (offset + 8 + size > webp.size()) {
            ADD_FAILURE() << "chunk overruns the file";
            break;
        }
        const auto type = webp.begin() + std::ptrdiff_t(offset);
        chunks.push_back({std::string(type, type + 4), Bytes(type + 8, type + 8 + size)});
        offset += 8 + size + size % 2;
    }
    return chunks;
}

std::vector<std::string> typesOf(const std::vector<Chunk>& chunks) {
    std::vector<std::string> types;
    for (const Chunk& chunk : chunks)
        types.push_back(chunk.type);
    return types;
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

TEST(WebPEncoder, LosslessFromQuality099KeepsStraightPixelsExactly) {
    for (bool translucent : {false, true}) {
        for (double quality : {0.99, 1.0}) {
            SCOPED_TRACE(std::string(translucent ? "translucent" : "opaque") + " at " +
                         std::to_string(quality));
            const Bitmap image = picture(translucent);
            const auto webp = WebPEncoder::encode(image, quality);
            ASSERT_TRUE(webp);
            const auto chunks = chunksOf(*webp);
            ASSERT_EQ(typesOf(chunks), std::vector<std::string>{"VP8L"});
            // The VP8L header's alpha_is_used bit follows 1 signature byte and two 14-bit sizes.
            const bool alphaUsed = chunks[0].data.at(4) & 0x10;
            EXPECT_EQ(alphaUsed, translucent);
            const auto decoded = testing::decode(*webp);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->width, 47);
            EXPECT_EQ(decoded->height, 33);
            EXPECT_TRUE(decoded->rgba == image.unpremultipliedRGBA()) << "decoded pixels differ";
        }
    }
}

TEST(WebPEncoder, LossyBelow099KeepsStraightColoursApproximately) {
    for (bool translucent : {false, true}) {
        for (double quality : {0.989, 0.75, 0.05}) {
            SCOPED_TRACE(std::string(translucent ? "translucent" : "opaque") + " at " +
                         std::to_string(quality));
            const Bitmap image = picture(translucent);
            const auto webp = WebPEncoder::encode(image, quality);
            ASSERT_TRUE(webp);
            const auto types = typesOf(chunksOf(*webp));
            const std::vector<std::string> expected = translucent
                                                          ? std::vector<std::string>{"VP8X", "ALPH", "VP8 "}
                                                          : std::vector<std::string>{"VP8 "};
            EXPECT_EQ(types, expected);
            const auto decoded = testing::decode(*webp);
            ASSERT_TRUE(decoded);
            const Bytes straight = *image.unpremultipliedRGBA();
            // Alpha is stored losslessly by default; colours come back near the straight values, which
            // differ from the premultiplied ones by far more than this.
            ASSERT_EQ(decoded->rgba.size(), straight.size());
            for (std::size_t alpha = 3; alpha < straight.size(); alpha += 4)
                ASSERT_EQ(decoded->rgba[alpha], straight[alpha]);
            EXPECT_LT(meanDifference(decoded->rgba, straight), quality > 0.9 ? 2.0 : 12.0);
            if (translucent) {
                EXPECT_GT(meanDifference(straight, Bytes(image.pixels().begin(), image.pixels().end())),
                          30.0);
            }
        }
    }
}

TEST(WebPEncoder, EmptyImageFailsToEncode) {
    for (double quality : {0.5, 1.0})
        EXPECT_EQ(WebPEncoder::encode(Bitmap(0, 0, false, Bytes{}), quality),
                  tl::unexpected(ImageEngineError::encodingFailed(ImageFormat::webp)))
            << quality;
}

} // namespace
} // namespace quillmorph
