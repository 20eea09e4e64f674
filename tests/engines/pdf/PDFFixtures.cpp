#include "PDFFixtures.h"

#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <sstream>

namespace quillmorph::testing {
namespace {

// Two pages with document information: text in two sizes, a line, a link to page 2 and two outline entries; a
// 480 × 320 picture drawn at 216 × 144 pt and a stencil mask on page 1; a cropped page 2 with a 40 × 30 gray
// picture drawn larger than its pixels.
const char* const report = R"(%!PS
[/Title (Secret plans) /Author (Jane Roe) /Subject (Budget) /Creator (Typewriter) /DOCINFO pdfmark
<< /PageSize [612 792] >> setpagedevice
[ /Title (Introduction) /Page 1 /OUT pdfmark
[ /Title (Picture) /Page 2 /OUT pdfmark
/Helvetica findfont 14 scalefont setfont
72 700 moveto (Quarterly report of the harbour office) show
0 0 1 setrgbcolor 72 600 moveto 300 650 lineto 400 600 lineto stroke 0 setgray
[ /Rect [70 560 320 580] /Border [0 0 1] /Page 2 /Subtype /Link /ANN pdfmark
72 565 moveto (See the picture on the next page) show
gsave 72 300 translate 216 144 scale /y 0 def
480 320 8 [480 0 0 -320 0 320] { /s 1440 string def 0 1 1439 { /i exch def
  s i i y add 3 mul sin 100 mul 128 add i y mul 13 mod add cvi put } for /y y 1 add def s } false 3 colorimage
grestore
gsave 400 300 translate 72 72 scale 16 16 true [16 0 0 -16 0 16]
  {<ff00ff00ff00ff00ff00ff00ff00ff0000ff00ff00ff00ff00ff00ff00ff00ff>} imagemask grestore
showpage
<< /PageSize [500 400] >> setpagedevice
[ /CropBox [20 20 480 380] /PAGE pdfmark
/Times-Roman findfont 11 scalefont setfont 72 300 moveto (The harbour at dawn) show
gsave 72 72 translate 108 72 scale /y 0 def
40 30 8 [40 0 0 -30 0 30] { /s 40 string def 0 1 39 { /x exch def s x x y mul 5 mod 40 mul put } for
  /y y 1 add def s } image grestore
showpage
)";

} // namespace

std::vector<std::uint8_t> quarterJPEG(const std::filesystem::path& directory, int width, int height) {
    const std::string name = (directory / (std::to_string(width) + "x" + std::to_string(height))).string();
    mustRun(
        {"vips", "black", name + ".v", std::to_string(width / 2), std::to_string(height / 2), "--bands=3"});
    mustRun({"vips", "embed", name + ".v", name + ".jpg[Q=90]", "0", "0", std::to_string(width),
             std::to_string(height), "--extend", "white"});
    const std::string jpeg = readFile(name + ".jpg");
    return {jpeg.begin(), jpeg.end()};
}

void writePDF(const std::filesystem::path& file, const std::vector<PDFWriter::Page>& pages) {
    PDFWriter writer(PDFWriter::Information::producer);
    for (const PDFWriter::Page& page : pages)
        ASSERT_TRUE(writer.addPage(page));
    const auto bytes = std::move(writer).finish();
    ASSERT_TRUE(bytes);
    writeFile(file, std::string(bytes->begin(), bytes->end()));
}

std::filesystem::path reportPDF() {
    static const TemporaryDirectory shared;
    const std::filesystem::path file = shared / "report.pdf";
    if (!std::filesystem::exists(file)) {
        writeFile(shared / "report.ps", report);
        mustRun({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
                 "-sOutputFile=" + file.string(), (shared / "report.ps").string()});
    }
    return file;
}

std::vector<PageFacts> pageFacts(const std::filesystem::path& file) {
    QPDF document;
    document.processFile(file.c_str());
    const auto box = [](QPDFObjectHandle corners) {
        const QPDFObjectHandle::Rectangle box = corners.getArrayAsRectangle();
        return PageBox{.x = box.llx, .y = box.lly, .width = box.urx - box.llx, .height = box.ury - box.lly};
    };
    std::vector<PageFacts> pages;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages()) {
        QPDFObjectHandle rotation = page.getAttribute("/Rotate", false);
        pages.push_back(
            {.mediaBox = box(page.getMediaBox()),
             .cropBox = box(page.getCropBox()),
             .rotation = rotation.isInteger() ? (rotation.getIntValueAsInt() % 360 + 360) % 360 : 0});
    }
    return pages;
}

std::vector<EmbeddedImage> embeddedImages(const std::filesystem::path& file) {
    const CommandResult result = runTool({"pdfimages", "-list", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<EmbeddedImage> images;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        EmbeddedImage image;
        std::string skipped;
        if (words >> image.page >> skipped >> skipped >> image.width >> image.height >> image.color >>
            skipped >> skipped >> image.encoding)
            images.push_back(image);
    }
    return images;
}

double pageDifference(const std::filesystem::path& first, int firstPage, const std::filesystem::path& second,
                      int secondPage, int dpi) {
    // pdftoppm writes "P5\n<width> <height>\n255\n" and then the samples.
    const auto render = [&](const std::filesystem::path& file, int page) {
        const std::string prefix = file.string() + "-" + std::to_string(page) + "-" + std::to_string(dpi);
        mustRun({"pdftoppm", "-gray", "-r", std::to_string(dpi), "-f", std::to_string(page), "-l",
                 std::to_string(page), "-singlefile", file.string(), prefix});
        return readFile(prefix + ".pgm");
    };
    const std::string one = render(first, firstPage), other = render(second, secondPage);
    // Same header, same size; the samples start after it.
    const std::size_t start = one.find('\n', one.find('\n', 3) + 1) + 1;
    if (one.empty() || one.compare(0, start, other, 0, start) != 0 || one.size() != other.size())
        return 255;
    double total = 0;
    for (std::size_t index = start; index < one.size(); ++index)
        total += std::abs(int(std::uint8_t(one[index])) - int(std::uint8_t(other[index])));
    return total / double(one.size() - start);
}

void expectClean(const std::filesystem::path& file) {
    const CommandResult check = runTool({"qpdf", "--check", file.string()});
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
}

} // namespace quillmorph::testing
