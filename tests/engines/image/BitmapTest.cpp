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
        const auto twice = [](const Bytes& pixel) {
            Bytes both = pixel;
            return both.insert(both.end(), pixel.begin(), pixel.end()), both;
        };
        EXPECT_EQ(Bitmap(2, 1, row.hasAlpha, twice(row.stored)).unpremultipliedRGBA(), twice(row.straight));
    }
}

TEST(Bitmap, RejectsABufferOfTheWrongSize) {
    EXPECT_THROW(Bitmap(2, 2, true, Bytes(15)), std::invalid_argument);
    EXPECT_THROW(Bitmap(-1, 2, true, Bytes{}), std::invalid_argument);
    EXPECT_NO_THROW(Bitmap(0, 5, true, Bytes{}));
    EXPECT_THROW(Bitmap(-1, 2, true, std::shared_ptr<const std::uint8_t[]>()), std::invalid_argument);
}

} // namespace
} // namespace quillmorph
