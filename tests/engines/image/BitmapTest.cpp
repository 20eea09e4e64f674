#include "engines/image/Bitmap.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace quillmorph {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Bitmap, UnpremultipliesEachPixel) {
    struct Row {
        const char* name;
        bool hasAlpha;
        Bytes stored;
        Bytes straight;
    };
    const Row rows[] = {
        {"opaque", true, {10, 20, 30, 255}, {10, 20, 30, 255}},
        {"clear", true, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"clear with stray colour", true, {5, 6, 7, 0}, {0, 0, 0, 0}},
        {"half covered, rounded down", true, {64, 32, 1, 128}, {127, 63, 1, 128}},
        {"colour above its alpha is capped", true, {200, 1, 100, 100}, {255, 2, 255, 100}},
        {"least coverage", true, {1, 0, 1, 1}, {255, 0, 255, 1}},
        {"filler byte ignored", false, {10, 20, 30, 7}, {10, 20, 30, 255}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The pixel twice, so that the walk across pixels is covered as well.
        Bytes stored = row.stored;
        stored.insert(stored.end(), row.stored.begin(), row.stored.end());
        Bytes straight = row.straight;
        straight.insert(straight.end(), row.straight.begin(), row.straight.end());
        EXPECT_EQ(Bitmap(2, 1, row.hasAlpha, stored).unpremultipliedRGBA(), straight);
    }
}

TEST(Bitmap, CopiesShareAnAdoptedBufferReleasedWithTheLastCopy) {
    int releases = 0;
    {
        std::shared_ptr<const std::uint8_t[]> buffer(new std::uint8_t[8]{1, 2, 3, 4, 5, 6, 7, 8},
                                                     [&](const std::uint8_t* pixels) {
                                                         ++releases;
                                                         delete[] pixels;
                                                     });
        const Bitmap image(2, 1, false, std::move(buffer));
        const Bitmap copy = image;
        EXPECT_TRUE(copy.isSameImage(image));
        EXPECT_EQ(copy.pixels().data(), image.pixels().data());
        EXPECT_FALSE(Bitmap(2, 1, false, Bytes(8, 9)).isSameImage(image));
        EXPECT_EQ(copy.byteCount(), 8u);
        EXPECT_EQ(copy.unpremultipliedRGBA(), (Bytes{1, 2, 3, 255, 5, 6, 7, 255}));
        EXPECT_EQ(releases, 0);
    }
    EXPECT_EQ(releases, 1);
}

TEST(Bitmap, RejectsABufferOfTheWrongSize) {
    EXPECT_THROW(Bitmap(2, 2, true, Bytes(15)), std::invalid_argument);
    EXPECT_THROW(Bitmap(-1, 2, true, Bytes{}), std::invalid_argument);
    EXPECT_NO_THROW(Bitmap(0, 5, true, Bytes{}));
}

} // namespace
} // namespace quillmorph
