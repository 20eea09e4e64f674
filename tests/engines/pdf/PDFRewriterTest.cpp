#include "PDFFixtures.h"
#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/pdf/PDFEngineError.h"
#include "engines/pdf/PDFSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

constexpr PDFSettings keepText{.resolution = PDFSettings::Resolution::web,
                               .method = PDFSettings::Method::keepText};

// Two pages: text in two sizes, a line, a link to page 2 and two outline entries; a 480 × 320 picture
// drawn at 216 × 144 pt and a stencil mask on page 1; a cropped page 2 with a 40 × 30 gray picture
// drawn larger than its pixels.
const char* const report = R"(%!PS
<< /PageSize [612 792] >> setpagedevice
[ /Title (Introduction) /Page 1 /OUT pdfmark
[ /Title (Picture) /Page 2 /OUT pdfmark
/Helvetica findfont 14 scalefont setfont
72 700 moveto (Quarterly report of the harbour office) show
0 0 1 setrgbcolor 72 600 moveto 300 650 lineto 400 600 lineto stroke 0 setgray
[ /Rect [70 560 320 580] /Border [0 0 1] /Page 2 /Subtype /Link /ANN pdfmark
72 565 moveto (See the picture on the next page) show
gsave 72 300 translate 216 144 scale /y 0 def
480 320 8 [480 0 0 -320 0 320] { /s 1440 string def 0 1 479 { /x exch def
  s x 3 mul x y add 3 mul sin 120 mul 128 add cvi put
  s x 3 mul 1 add y 5 mul sin 120 mul 128 add cvi put
  s x 3 mul 2 add x y mul 13 mod 19 mul put } for /y y 1 add def s } false 3 colorimage
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

std::string text(const fs::path& file) {
    const testing::CommandResult result = testing::runTool({"pdftotext", file.string(), "-"});
    EXPECT_EQ(result.exitCode, 0);
    return result.output;
}

struct Structure {
    std::vector<std::size_t> links; // per page
    std::vector<std::string> outlines;
    bool operator==(const Structure&) const = default;
};

Structure structure(const fs::path& file) {
    QPDF document;
    document.processFile(file.c_str());
    Structure structure;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages())
        structure.links.push_back(page.getAnnotations("/Link").size());
    for (QPDFOutlineObjectHelper& outline : QPDFOutlineDocumentHelper(document).getTopLevelOutlines())
        structure.outlines.push_back(outline.getTitle());
    return structure;
}

void expectClean(const fs::path& file) {
    const testing::CommandResult check = testing::runTool({"qpdf", "--check", file.string()});
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
}

// Every picture at or below the resolution at which it is drawn (pdfimages rounds the density).
void expectWithinResolution(const fs::path& file, int dpi) {
    for (const testing::EmbeddedImage& image : testing::embeddedImages(file)) {
        SCOPED_TRACE(std::to_string(image.width) + "x" + std::to_string(image.height));
        EXPECT_LE(image.xPpi, dpi + 1);
        EXPECT_LE(image.yPpi, dpi + 1);
    }
}

// The page as pdftoppm renders it at 72 dpi, after against before.
double pageDifference(const fs::path& before, const fs::path& after, int page) {
    return testing::meanDifference(testing::renderPage(before, page, 72), testing::renderPage(after, page, 72));
}

TEST(PDFRewriter, KeepsTextLinksOutlinesAndBoxesWhileShrinkingPictures) {
    testing::TemporaryDirectory directory;
    const fs::path source = directory / "report.pdf";
    testing::ghostscriptPDF(source, report);

    const JobOutcome outcome = BatchRunner::processPDF(source, keepText);

    ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
    const fs::path output = *outcome.output;
    EXPECT_LT(outcome.outputBytes, outcome.originalBytes);
    expectClean(output);
    EXPECT_EQ(text(output), text(source));
    EXPECT_EQ(structure(output), (Structure{.links = {1, 0}, .outlines = {"Introduction", "Picture"}}));
    const auto boxes = testing::pageFacts(output), sourceBoxes = testing::pageFacts(source);
    ASSERT_EQ(boxes.size(), 2u);
    for (std::size_t page = 0; page < boxes.size(); ++page) {
        EXPECT_EQ(boxes[page].mediaBox, sourceBoxes[page].mediaBox);
        EXPECT_EQ(boxes[page].cropBox, sourceBoxes[page].cropBox);
        EXPECT_LT(pageDifference(source, output, int(page) + 1), 4);
    }
    expectWithinResolution(output, 96);
    const auto images = testing::embeddedImages(output);
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0].width, 288);
    EXPECT_EQ(images[1].encoding, testing::embeddedImages(source)[1].encoding) << "the stencil mask stays";
    EXPECT_EQ(images[2].width, 40) << "never enlarged";
    EXPECT_EQ(images[2].color, "gray");

    // Nothing more to gain: the second round gives the first's bytes back.
    const JobOutcome again = BatchRunner::processPDF(output, keepText);
    ASSERT_TRUE(again.succeeded()) << *again.error;
    EXPECT_TRUE(testing::readFile(*again.output) == testing::readFile(output));
}

// img2pdf pages of 3 × 2 in showing one picture: at 96 dpi a picture may keep 288 × 192 pixels.
void picturePDF(const fs::path& picture, const fs::path& file) {
    testing::mustRun({"img2pdf", "--pagesize", "3inx2in", "-o", file.string(), picture.string()});
}

// A 600 × 400 RGB picture of grainy cells, rgb.v in `directory`.
void cellPicture(const fs::path& directory) {
    const auto in = [&](const char* name) { return (directory / name).string(); };
    testing::mustRun({"vips", "worley", in("cells.v"), "600", "400", "--cell-size", "64"});
    testing::mustRun({"vips", "gaussnoise", in("noise.v"), "600", "400", "--sigma", "12"});
    testing::mustRun({"vips", "linear", in("cells.v"), in("scaled.v"), "3", "0"});
    testing::mustRun({"vips", "add", in("scaled.v"), in("noise.v"), in("sum.v")});
    testing::mustRun({"vips", "cast", in("sum.v"), in("grain.v"), "uchar"});
    testing::mustRun({"vips", "bandjoin_const", in("grain.v"), in("rgb.v"), "40 200"});
}

// Gives the page's picture a 16-bit soft mask hiding its right half.
void addSoftMask(const fs::path& file) {
    QPDF document;
    document.processFile(file.c_str());
    QPDFObjectHandle image = QPDFPageDocumentHelper(document).getAllPages().front().getImages().begin()->second;
    const int width = image.getDict().getKey("/Width").getIntValueAsInt();
    const int height = image.getDict().getKey("/Height").getIntValueAsInt();
    std::string alpha;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            alpha.append(2, x < width / 2 ? '\xFF' : '\0');
    }
    QPDFObjectHandle mask = QPDFObjectHandle::newStream(&document, alpha);
    mask.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    mask.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    mask.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(width));
    mask.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(height));
    mask.getDict().replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
    mask.getDict().replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(16));
    image.getDict().replaceKey("/SMask", mask);
    const std::string masked = file.string() + ".masked";
    QPDFWriter writer(document, masked.c_str());
    writer.write();
    fs::rename(masked, file);
}

TEST(PDFRewriter, RecompressesEveryKindOfPictureItCanDecode) {
    testing::TemporaryDirectory directory;
    const std::string rgb = (directory / "rgb.v").string();
    cellPicture(directory.path());
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> make; // commands writing picture.*
        const char* picture;
        bool softMask = false;
        const char* encodingAfter = "jpeg";
    } rows[] = {
        {"photo", {{"vips", "jpegsave", rgb, "picture.jpg", "--Q", "95"}}, "picture.jpg"},
        {"cmyk", {{"vips", "colourspace", rgb, "cmyk.v", "cmyk"},
                  {"vips", "jpegsave", "cmyk.v", "picture.jpg", "--Q", "95", "--strip"}}, "picture.jpg"},
        {"palette", {{"vips", "pngsave", rgb, "picture.png", "--palette", "--bitdepth", "4"}}, "picture.png",
         false, "image"},
        {"masked", {{"vips", "pngsave", rgb, "picture.png"}}, "picture.png", true},
        {"line art", {{"vips", "relational_const", (directory / "scaled.v").string(), "mono.v", "more", "60"},
                      {"vips", "pngsave", "mono.v", "picture.png", "--bitdepth", "1"}}, "picture.png", false, "image"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = directory / row.name;
        fs::create_directories(folder);
        for (std::vector<std::string> command : row.make) {
            for (std::size_t argument = 2; argument < command.size(); ++argument) {
                if (command[argument].find('.') != std::string::npos && command[argument].front() != '/')
                    command[argument] = (folder / command[argument]).string();
            }
            testing::mustRun(command);
        }
        const fs::path source = folder / "source.pdf";
        picturePDF(folder / row.picture, source);
        if (row.softMask)
            addSoftMask(source);

        const JobOutcome outcome = BatchRunner::processPDF(source, keepText);

        ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
        EXPECT_LE(outcome.outputBytes, outcome.originalBytes);
        expectClean(*outcome.output);
        expectWithinResolution(*outcome.output, 96);
        const auto images = testing::embeddedImages(*outcome.output);
        ASSERT_FALSE(images.empty());
        EXPECT_EQ(images.front().encoding, row.encodingAfter);
        EXPECT_EQ(images.size(), row.softMask ? 2u : 1u);
        EXPECT_LT(pageDifference(source, *outcome.output, 1), 8);
    }
}

TEST(PDFRewriter, OpensWhatNeedsNoPasswordAndFailsWhatDoes) {
    testing::TemporaryDirectory directory;
    const fs::path source = directory / "report.pdf";
    testing::ghostscriptPDF(source, report);
    for (const char* password : {"", "secret"}) {
        SCOPED_TRACE(password);
        const fs::path locked = directory / (std::string("locked-") + password + ".pdf");
        testing::mustRun({"qpdf", "--encrypt", password, "owner", "256", "--", source.string(), locked.string()});

        const JobOutcome outcome = BatchRunner::processPDF(locked, keepText);

        if (*password) {
            EXPECT_EQ(outcome.error, describe(PDFEngineError::unreadable(locked)));
            EXPECT_FALSE(outcome.output);
        } else {
            ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
            EXPECT_EQ(text(*outcome.output), text(source));
            expectClean(*outcome.output);
        }
    }
}

} // namespace
} // namespace quillmorph
