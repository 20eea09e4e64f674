#include "engines/image/PNGWriter.h"

#include "tests/engines/image/CodecTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

namespace quillmorph {
namespace {

using testing::makeBitmap;
using testing::Pixel;
using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::string type;
    Bytes data;
};

std::uint32_t bigEndian(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 |
           bytes[3];
}

// The file's chunks in order, each checked for a whole length and a correct CRC.
std::vector<Chunk> chunksOf(const Bytes& png) {
    const Bytes signature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_TRUE(png.size() >= 8 && Bytes(png.begin(), png.begin() + 8) == signature);
    std::vector<Chunk> chunks;
    for (std::size_t offset = 8; offset + 12 <= png.size();) {
        const std::uint32_t length = bigEndian(&png[offset]);
        if (offset + 12 + length > png.size()) {
            ADD_FAILURE() << "chunk overruns the file";
            break;
        }
        const std::uint8_t* type = &png[offset + 4];
        EXPECT_EQ(bigEndian(type + 4 + length), crc32(0, type, 4 + length));
        chunks.push_back({std::string(type, type + 4), Bytes(type + 4, type + 4 + length)});
        offset += 12 + length;
    }
    return chunks;
}

Bytes dataOf(const std::vector<Chunk>& chunks, const std::string& type) {
    for (const Chunk& chunk : chunks) {
        if (chunk.type == type)
            return chunk.data;
    }
    return {};
}

int bitDepthOf(const std::vector<Chunk>& chunks) {
    const Bytes header = dataOf(chunks, "IHDR");
    return header.size() == 13 ? header[8] : -1;
}

Bytes inflatedImageData(const std::vector<Chunk>& chunks, std::size_t expectedSize) {
    const Bytes compressed = dataOf(chunks, "IDAT");
    Bytes lines(expectedSize + 1);
    uLongf length = lines.size();
    EXPECT_EQ(uncompress(lines.data(), &length, compressed.data(), compressed.size()), Z_OK);
    lines.resize(length);
    return lines;
}

// Passes pngcheck and decodes through libvips to the image's own straight RGBA.
void expectFaithful(const Bitmap& image, const Bytes& png) {
    EXPECT_TRUE(testing::passesPngcheck(png));
    const auto decoded = testing::decode(png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, image.width());
    EXPECT_EQ(decoded->height, image.height());
    EXPECT_TRUE(decoded->rgba == image.unpremultipliedRGBA()) << "decoded pixels differ";
}

// Colour number i, premultiplied; odd colours are half transparent when `translucent`.
Pixel colour(int i, bool translucent) {
    return {std::uint8_t(i % 128), std::uint8_t(i / 128 * 40), 60,
            std::uint8_t(translucent && i % 2 ? 128 : 255)};
}

// 47 × 33 pixels cycling through `count` colours, which therefore first appear in number order.
Bitmap cyclingImage(int count, bool translucent) {
    return makeBitmap(47, 33, translucent,
                      [&](int x, int y) { return colour((y * 47 + x) % count, translucent); });
}

TEST(PNGWriter, TransparentPixelsShareTheFirstEntry) {
    // Opaque first, and fully transparent pixels stored with and without stray colour.
    const Bitmap image = makeBitmap(5, 3, true, [](int x, int y) {
        if ((x + y) % 2 == 0)
            return Pixel{200, 100, 50, 255};
        return x == 1 ? Pixel{9, 9, 9, 0} : Pixel{0, 0, 0, 0};
    });
    const auto png = PNGWriter::indexed(image);
    ASSERT_TRUE(png);
    const auto chunks = chunksOf(*png);
    EXPECT_EQ(bitDepthOf(chunks), 1);
    EXPECT_EQ(dataOf(chunks, "PLTE"), (Bytes{0, 0, 0, 200, 100, 50}));
    EXPECT_EQ(dataOf(chunks, "tRNS"), (Bytes{0}));
    expectFaithful(image, *png);
}

TEST(PNGWriter, BitDepthFollowsPaletteSize) {
    struct Row {
        int colours;
        int depth;
    };
    for (bool translucent : {false, true}) {
        for (const Row row :
             {Row{1, 1}, Row{2, 1}, Row{3, 2}, Row{4, 2}, Row{5, 4}, Row{16, 4}, Row{17, 8}, Row{256, 8}}) {
            SCOPED_TRACE(std::to_string(row.colours) +
                         (translucent ? " colours, odd ones translucent" : " colours"));
            const Bitmap image = cyclingImage(row.colours, translucent);
            const auto png = PNGWriter::indexed(image);
            ASSERT_TRUE(png);
            const auto chunks = chunksOf(*png);
            EXPECT_EQ(bitDepthOf(chunks), row.depth);
            EXPECT_EQ(dataOf(chunks, "PLTE").size(), std::size_t(row.colours) * 3);
            // The odd colours are the translucent ones, and tRNS holds exactly their alphas.
            const std::size_t translucentColours = translucent ? std::size_t(row.colours / 2) : 0;
            EXPECT_EQ(dataOf(chunks, "tRNS"), Bytes(translucentColours, 128));
            expectFaithful(image, *png);
        }
    }
}

TEST(PNGWriter, MoreThan256ColoursOrNoPixelsGiveNothing) {
    EXPECT_FALSE(PNGWriter::indexed(Bitmap(0, 7, false, Bytes{})));
    for (bool translucent : {false, true}) {
        SCOPED_TRACE(translucent ? "translucent" : "opaque");
        EXPECT_FALSE(PNGWriter::indexed(cyclingImage(257, translucent)));
    }
    // The 257th colour is the very last pixel.
    const Bitmap lastPixelTooMany = makeBitmap(257, 1, false, [](int x, int) {
        return Pixel{std::uint8_t(x), std::uint8_t(x / 256), 0, 255};
    });
    EXPECT_FALSE(PNGWriter::indexed(lastPixelTooMany));
}

TEST(PNGWriter, ColoursDifferingOnlyInAlphaAreSeparateEntries) {
    // Premultiplied white at alphas 255, 200 and 1 is straight white each time; black opaque and clear.
    const std::vector<Pixel> colours{
        {255, 255, 255, 255}, {200, 200, 200, 200}, {1, 1, 1, 1}, {0, 0, 0, 255}, {0, 0, 0, 0}};
    const Bitmap image = makeBitmap(5, 4, true, [&](int x, int y) { return colours[(x + y) % 5]; });
    const auto png = PNGWriter::indexed(image);
    ASSERT_TRUE(png);
    const auto chunks = chunksOf(*png);
    EXPECT_EQ(bitDepthOf(chunks), 4);
    EXPECT_EQ(dataOf(chunks, "PLTE"), (Bytes{0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0}));
    EXPECT_EQ(dataOf(chunks, "tRNS"), (Bytes{0, 1, 200}));
    expectFaithful(image, *png);
}

TEST(PNGWriter, NoisyImageRoundTripsThroughEveryFilter) {
    // Pseudo-random rows over 200 colours make several filters win somewhere.
    std::uint32_t state = 12345;
    const Bitmap image = makeBitmap(61, 45, true, [&](int x, int y) {
        state = state * 1664525 + 1013904223;
        const int index = (x * y + x / 3 + int(state >> 28)) % 200;
        return colour(index, true);
    });
    const auto png = PNGWriter::indexed(image);
    ASSERT_TRUE(png);
    const auto chunks = chunksOf(*png);
    const Bytes lines = inflatedImageData(chunks, 45 * 62);
    std::set<int> filters;
    for (std::size_t row = 0; row < 45; ++row)
        filters.insert(lines[row * 62]);
    EXPECT_GE(filters.size(), 3u);
    EXPECT_LE(*filters.rbegin(), 4);
    expectFaithful(image, *png);
}

} // namespace
} // namespace quillmorph
