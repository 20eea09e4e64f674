#include "engines/pdf/PDFWriter.h"

#include "PDFFixtures.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace quillmorph {
namespace {

TEST(PDFWriter, DrawsThePictureOverItsBox) {
    testing::TemporaryDirectory directory;
    // The picture fills the left half of a page whose origin is not zero.
    const PageBox media{.x = 100, .y = 200, .width = 144, .height = 72};
    const PageBox leftHalf{.x = 100, .y = 200, .width = 72, .height = 72};
    testing::writePDF(directory / "placed.pdf",
                      {{.mediaBox = media,
                        .pictureBox = leftHalf,
                        .jpeg = testing::quarterJPEG(directory.path(), 64, 64, true)}});
    EXPECT_EQ(testing::embeddedImages(directory / "placed.pdf").at(0).color, "gray");

    // pdftoppm shows the whole media box, one pixel a point at 72 dpi: the picture's dark quarter is its
    // top-left one, and the right half of the page is paper.
    const testing::GrayRaster page = testing::renderPage(directory / "placed.pdf", 1, 72);
    ASSERT_EQ(page.width, 144);
    ASSERT_EQ(page.height, 72);
    const auto sample = [&](int x, int y) {
        return page.samples[std::size_t(y) * std::size_t(page.width) + std::size_t(x)];
    };
    EXPECT_LT(sample(10, 10), 40);
    EXPECT_GT(sample(60, 10), 215);
    EXPECT_GT(sample(10, 60), 215);
    EXPECT_GT(sample(100, 10), 215);
}

TEST(PDFWriter, RefusesPagesItCannotDescribe) {
    testing::TemporaryDirectory directory;
    const auto jpeg = testing::quarterJPEG(directory.path(), 16, 16);
    const PageBox box{.width = 100, .height = 100};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::uint8_t> text{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
    const std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + 20);

    const struct {
        const char* name;
        PDFWriter::Page page;
    } cases[] = {
        {"not a JPEG", {.mediaBox = box, .pictureBox = box, .jpeg = text}},
        {"JPEG cut before its frame", {.mediaBox = box, .pictureBox = box, .jpeg = cut}},
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
    testing::writeBytes(directory / "survivor.pdf", *bytes);
    EXPECT_EQ(testing::runTool({"qpdf", "--check", (directory / "survivor.pdf").string()}).exitCode, 0);
    EXPECT_EQ(testing::pageFacts(directory / "survivor.pdf").size(), 1u);
}

} // namespace
} // namespace quillmorph
