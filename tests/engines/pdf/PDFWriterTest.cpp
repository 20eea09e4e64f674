#include "engines/pdf/PDFWriter.h"

#include "PDFFixtures.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace quillmorph {
namespace {

// Where the picture lands is shown by the engine's tests, which compare renderings of every kind of box.
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
