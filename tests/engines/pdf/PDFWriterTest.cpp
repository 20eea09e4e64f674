#include "engines/pdf/PDFWriter.h"

#include "PDFFixtures.h"
#include "engines/pdf/JPEGHeader.h"
#include "engines/pdf/PDFSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace quillmorph {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Where the picture lands is shown by the engine's tests, which compare renderings of every kind of box.
TEST(PDFWriter, RefusesPagesItCannotDescribe) {
    testing::TemporaryDirectory directory;
    const auto jpeg = testing::quarterJPEG(directory.path(), 16, 16);
    const PageBox box{.width = 100, .height = 100};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Bytes text(20, 'x');
    const struct {
        const char* name;
        PDFWriter::Page page;
    } cases[] = {
        {"not a JPEG", {.mediaBox = box, .pictureBox = box, .jpeg = text}},
        {"no JPEG", {.mediaBox = box, .pictureBox = box}},
        {"negative picture box", {.mediaBox = box, .pictureBox = {.width = -5, .height = 10}, .jpeg = jpeg}},
        {"NaN origin", {.mediaBox = {.x = nan, .width = 10, .height = 10}, .pictureBox = box, .jpeg = jpeg}},
        {"rotation of 45", {.mediaBox = box, .pictureBox = box, .rotation = 45, .jpeg = jpeg}},
    };
    PDFWriter writer(PDFWriter::Information::producer);
    for (const auto& [name, page] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(writer.addPage(page));
    }
    EXPECT_EQ(writer.pageCount(), 0);
    ASSERT_TRUE(writer.addPage({.mediaBox = box, .pictureBox = box, .jpeg = jpeg}));
    const auto bytes = std::move(writer).finish();
    ASSERT_TRUE(bytes);
    testing::writeFile(directory / "survivor.pdf", std::string(bytes->begin(), bytes->end()));
    testing::expectClean(directory / "survivor.pdf");
    EXPECT_EQ(testing::pageFacts(directory / "survivor.pdf").size(), 1u);
}

// Baseline colour and gray frames are read wherever the PDF tests embed a JPEG.
TEST(JPEGHeader, ReadsProgressiveFramesSkippingFillBytesAndStandaloneMarkersButNothingDamaged) {
    const struct {
        const char* name;
        Bytes bytes;
        std::optional<JPEGHeader> header;
    } cases[] = {
        // SOI, RST0, fill bytes, then SOF2 of a 47 × 33 one-component progressive frame.
        {"progressive",
         {0xFF, 0xD8, 0xFF, 0xD0, 0xFF, 0xFF, 0xFF, 0xC2, 0x00, 0x0B, 0x08,
          0x00, 0x21, 0x00, 0x2F, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9},
         JPEGHeader{47, 33, 1}},
        {"empty", {}, std::nullopt},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, std::nullopt},
        {"cut before the frame header", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00}, std::nullopt},
        {"cut in the frame header", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00}, std::nullopt},
        {"height left to a DNL marker",
         {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x00, 0x00, 0x2F, 0x01, 0x01, 0x11, 0x00},
         std::nullopt},
        {"scan before any frame", {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x00, 0x00}, std::nullopt},
        {"segment length below two", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0x00, 0x00}, std::nullopt},
        {"no marker where one belongs", {0xFF, 0xD8, 0x12, 0x34, 0x00, 0x00}, std::nullopt},
    };
    for (const auto& [name, bytes, header] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(JPEGHeader::read(bytes), header);
    }
}

// Their densities show in the engine's pixel sizes.
TEST(PDFSettings, ResolutionsReadBackFromTheirDPIAndNothingElse) {
    for (const PDFSettings::Resolution each : allCases<PDFSettings::Resolution>())
        EXPECT_EQ(resolution(dpi(each)), each) << toString(each);
    for (int other : {0, 72, 97, -150})
        EXPECT_EQ(resolution(other), std::nullopt) << other;
}

} // namespace
} // namespace quillmorph
