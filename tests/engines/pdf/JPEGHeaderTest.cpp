#include "engines/pdf/JPEGHeader.h"

#include "PDFFixtures.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Baseline colour and gray frames are read wherever the PDF tests embed a JPEG.
TEST(JPEGHeader, ReadsProgressiveFramesAndSkipsFillBytesAndStandaloneMarkers) {
    testing::TemporaryDirectory directory;
    (void)testing::quarterJPEG(directory.path(), 47, 33);
    testing::mustRun({"vips", "copy", (directory / "47x33-rgb.ppm").string(),
                      (directory / "progressive.jpg").string() + "[interlace]"});
    EXPECT_EQ(JPEGHeader::read(testing::readBytes(directory / "progressive.jpg")),
              (JPEGHeader{.width = 47, .height = 33, .components = 3}));
    // SOI, RST0, fill bytes, then SOF0 of a 47 × 33 one-component frame.
    const Bytes stream{0xFF, 0xD8, 0xFF, 0xD0, 0xFF, 0xFF, 0xFF, 0xC0, 0x00, 0x0B, 0x08,
                       0x00, 0x21, 0x00, 0x2F, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9};
    EXPECT_EQ(JPEGHeader::read(stream), (JPEGHeader{.width = 47, .height = 33, .components = 1}));
}

TEST(JPEGHeader, GivesNothingForDamagedOrForeignBytes) {
    testing::TemporaryDirectory directory;
    const Bytes real = testing::quarterJPEG(directory.path(), 47, 33);
    const auto frame = std::ranges::search(real, Bytes{0xFF, 0xC0}).begin() - real.begin();
    ASSERT_LT(std::size_t(frame), real.size());
    Bytes zeroHeight = real;
    zeroHeight[std::size_t(frame) + 5] = 0;
    zeroHeight[std::size_t(frame) + 6] = 0;

    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}},
        {"cut before the frame header", Bytes(real.begin(), real.begin() + frame)},
        {"height left to a DNL marker", zeroHeight},
        {"scan before any frame", {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x00, 0x00}},
        {"segment length below two", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0x00, 0x00}},
        {"no marker where one belongs", {0xFF, 0xD8, 0x12, 0x34, 0x00, 0x00}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(JPEGHeader::read(bytes), std::nullopt);
    }
}

} // namespace
} // namespace quillmorph
