#include "engines/pdf/PDFWriter.h"

#include "PDFFixtures.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace quillmorph {
namespace {

using testing::EmbeddedImage;

TEST(PDFWriter, WritesPagesThatReadersAndQpdfAccept) {
    testing::TemporaryDirectory directory;
    const auto colour = testing::quarterJPEG(directory.path(), 47, 33);
    const auto gray = testing::quarterJPEG(directory.path(), 20, 30, true);
    const PageBox letter{.width = 612, .height = 792};
    const PageBox shifted{.x = -40.5, .y = 120.25, .width = 200, .height = 300};
    const PageBox cropped{.x = 10, .y = 20, .width = 100, .height = 50};
    const PageBox media{.width = 300, .height = 200};
    PDFWriter writer(PDFWriter::Information::producer);
    ASSERT_TRUE(writer.addPage({.mediaBox = letter, .pictureBox = letter, .jpeg = colour}));
    ASSERT_TRUE(writer.addPage({.mediaBox = shifted, .pictureBox = shifted, .rotation = 90, .jpeg = gray}));
    ASSERT_TRUE(writer.addPage({.mediaBox = media, .pictureBox = cropped, .rotation = -90, .jpeg = colour}));
    EXPECT_EQ(writer.pageCount(), 3);
    const auto bytes = std::move(writer).finish();
    ASSERT_TRUE(bytes);
    const std::filesystem::path file = directory / "written.pdf";
    testing::writeBytes(file, *bytes);

    const std::string contents(bytes->begin(), bytes->end());
    EXPECT_EQ(contents.substr(0, 9), "%PDF-1.4\n");
    EXPECT_GT(std::uint8_t(contents[10]), 127) << "binary marker comment";
    const testing::CommandResult check = testing::runTool({"qpdf", "--check", file.string()});
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;

    const auto pages = testing::pageFacts(file);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].mediaBox, letter);
    EXPECT_EQ(pages[0].cropBox, letter);
    EXPECT_EQ(pages[1].mediaBox.x, -40.5);
    EXPECT_EQ(pages[1].mediaBox.y, 120.25);
    EXPECT_EQ(pages[1].rotation, 90);
    EXPECT_EQ(pages[2].mediaBox, media);
    EXPECT_EQ(pages[2].cropBox, cropped);
    EXPECT_EQ(pages[2].rotation, 270);

    const auto images = testing::embeddedImages(file);
    ASSERT_EQ(images.size(), 3u);
    const struct {
        int width, height;
        const char* color;
    } expected[] = {{47, 33, "rgb"}, {20, 30, "gray"}, {47, 33, "rgb"}};
    for (std::size_t index = 0; index < images.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(images[index].width, expected[index].width);
        EXPECT_EQ(images[index].height, expected[index].height);
        EXPECT_EQ(images[index].color, expected[index].color);
        EXPECT_EQ(images[index].encoding, "jpeg");
    }
}

TEST(PDFWriter, DrawsThePictureOverItsBox) {
    testing::TemporaryDirectory directory;
    const auto jpeg = testing::quarterJPEG(directory.path(), 64, 64, true);
    // The picture fills the left half of a page whose origin is not zero.
    const PageBox media{.x = 100, .y = 200, .width = 144, .height = 72};
    const PageBox leftHalf{.x = 100, .y = 200, .width = 72, .height = 72};
    PDFWriter writer(PDFWriter::Information::blank);
    ASSERT_TRUE(writer.addPage({.mediaBox = media, .pictureBox = leftHalf, .jpeg = jpeg}));
    const auto bytes = std::move(writer).finish();
    ASSERT_TRUE(bytes);
    testing::writeBytes(directory / "placed.pdf", *bytes);

    // pdftoppm shows the whole media box, one pixel a point at 72 dpi.
    const testing::GrayRaster page = testing::renderPage(directory / "placed.pdf", 1, 72);
    ASSERT_EQ(page.width, 144);
    ASSERT_EQ(page.height, 72);
    const auto sample = [&](int x, int y) {
        return page.samples[std::size_t(y) * std::size_t(page.width) + std::size_t(x)];
    };
    // The picture's dark quarter is its top-left one; the right half of the page is paper.
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
