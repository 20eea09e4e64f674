#include "PDFFixtures.h"
#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/pdf/PDFEngineError.h"
#include "engines/pdf/PDFSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdio>
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

// What a reader gets of the file besides its pictures: the text, links per page and the outline.
std::string content(const fs::path& file) {
    std::string content = testing::runTool({"pdftotext", file.string(), "-"}).output;
    QPDF document;
    document.processFile(file.c_str());
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages())
        content += " links " + std::to_string(page.getAnnotations("/Link").size());
    for (QPDFOutlineObjectHelper& outline : QPDFOutlineDocumentHelper(document).getTopLevelOutlines())
        content += " outline " + outline.getTitle();
    return content;
}

// The new file goes beside its source, which stays as it was. An encrypted source that opens without
// a password is rewritten alike; one that needs it fails, leaving nothing behind.
TEST(PDFRewriter, KeepsTextLinksOutlinesAndBoxesWhileShrinkingPictures) {
    testing::TemporaryDirectory directory;
    const fs::path report = testing::reportPDF();
    const std::string reportBytes = testing::readFile(report);
    for (const char* password : {"", "secret"}) {
        testing::mustRun({"qpdf", "--encrypt", password, "owner", "256", "--", report.string(),
                          (directory / (std::string("locked-") + password + ".pdf")).string()});
    }
    const auto needsPassword = BatchRunner::runPDF({directory / "locked-secret.pdf"}, keepText, {}, {});
    ASSERT_EQ(needsPassword.size(), 1u);
    EXPECT_EQ(needsPassword[0].error, describe(PDFEngineError::unreadable(directory / "locked-secret.pdf")));
    EXPECT_EQ(testing::namesIn(directory.path()),
              (std::vector<std::string>{"locked-.pdf", "locked-secret.pdf"}));

    for (const fs::path& source : {report, directory / "locked-.pdf"}) {
        SCOPED_TRACE(source);
        const JobOutcome outcome = BatchRunner::processPDF(source, keepText);

        ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
        const fs::path output = *outcome.output;
        EXPECT_EQ(output, source.parent_path() / (source.stem().string() + "-compressed.pdf"));
        EXPECT_EQ(outcome.originalBytes, std::int64_t(fs::file_size(source)));
        EXPECT_EQ(outcome.outputBytes, std::int64_t(fs::file_size(output)));
        EXPECT_LT(outcome.outputBytes, outcome.originalBytes);
        testing::expectClean(output);
        EXPECT_EQ(content(output), content(report));
        EXPECT_TRUE(
            content(output).ends_with("dawn\n\n\f links 1 links 0 outline Introduction outline Picture"))
            << content(output);
        EXPECT_TRUE(testing::pageFacts(output) == testing::pageFacts(report)); // boxes and rotations
        for (int page : {1, 2})
            EXPECT_LT(testing::pageDifference(report, page, output, page, 72), 4) << page;
        const auto images = testing::embeddedImages(output);
        ASSERT_EQ(images.size(), 3u);
        EXPECT_EQ(std::pair(images[0].width, images[0].height), std::pair(288, 192)); // 3 × 2 in at 96 dpi
        EXPECT_EQ(images[1].encoding, testing::embeddedImages(report)[1].encoding)
            << "the stencil mask stays";
        EXPECT_EQ(images[2].width, 40) << "never enlarged";
        EXPECT_EQ(images[2].color, "gray");

        // Nothing more to gain: the second round gives the first's bytes back.
        const JobOutcome again = BatchRunner::processPDF(output, keepText);
        ASSERT_TRUE(again.succeeded()) << *again.error;
        EXPECT_TRUE(testing::readFile(*again.output) == testing::readFile(output));
    }
    EXPECT_EQ(testing::readFile(report), reportBytes);
}

constexpr int side = 600, rows = 400; // of every picture below, drawn at 3 × 2 in: 288 × 192 at 96 dpi

// Ramps with a little grain, `values` a pixel, packed at `bits` (16: the grain in the low bytes).
std::string grain(int values, int bits) {
    const std::size_t rowBytes = (std::size_t(side * values * bits) + 7) / 8;
    std::string samples(rowBytes * rows, '\0');
    unsigned noise = 1;
    for (int y = 0; y < rows; ++y) {
        for (int index = 0; index < side * values; ++index) {
            noise = noise * 1103515245 + 12345;
            const unsigned level = (index / values + y) / 5 + index % values * 20 + (noise >> 28); // < 255
            const std::size_t bit = std::size_t(index) * std::size_t(bits), at = y * rowBytes + bit / 8;
            if (bits == 16)
                samples[at] = char(level), samples[at + 1] = char(noise >> 20);
            else
                samples[at] = char(samples[at] | ((level >> (8 - bits)) << (8 - bits - int(bit % 8))));
        }
    }
    return samples;
}

// A palette of `entries` RGB colours from blue to orange, as a PDF hex string.
std::string palette(int entries) {
    static const char digits[] = "0123456789abcdef";
    std::string hex = "<";
    for (int entry = 0; entry < entries; ++entry)
        hex += {digits[entry * 16 / entries], '0', '8', '0', digits[15 - entry * 16 / entries], '0'};
    return hex + ">";
}

// One 3 × 2 in page drawing one image: `entries` of its dictionary besides type and size, `data` as
// stored (unfiltered data is deflated on writing), with a grainy soft mask of `maskBits` when not 0.
void imagePDF(const fs::path& file, const std::string& entries, const std::string& data, int maskBits) {
    QPDF document;
    document.emptyPDF();
    const auto image = [&](const std::string& more, const std::string& samples) {
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&document, samples);
        stream.replaceDict(QPDFObjectHandle::parse(
            "<< /Type /XObject /Subtype /Image /Width 600 /Height 400 " + more + " >>"));
        return stream;
    };
    QPDFObjectHandle picture = image(entries, data);
    if (maskBits) {
        picture.getDict().replaceKey(
            "/SMask", image("/ColorSpace /DeviceGray /BitsPerComponent " + std::to_string(maskBits),
                            grain(1, maskBits)));
    }
    QPDFObjectHandle page = document.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 216 144] /Resources << /XObject << >> >> >>"));
    page.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", picture);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, "q 216 0 0 144 0 0 cm /Im0 Do Q"));
    QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(page), false);
    QPDFWriter(document, file.c_str()).write();
}

TEST(PDFRewriter, RecompressesEveryKindOfPictureItCanDecodeAndLeavesTheRest) {
    testing::TemporaryDirectory directory;
    testing::writeFile(directory / "grain.ppm", "P6\n600 400\n255\n" + grain(3, 8));
    const auto jpeg = [&](const char* space) {
        const fs::path file = directory / (std::string(space) + ".jpg");
        testing::mustRun(
            {"vips", "colourspace", (directory / "grain.ppm").string(), file.string() + "[Q=95]", space});
        return testing::readFile(file);
    };
    const std::string rgbJPEG = jpeg("srgb"), cmykJPEG = jpeg("cmyk"), junk(20000, 'J');
    const std::string rgb = "/ColorSpace /DeviceRGB /BitsPerComponent ", gray = "/ColorSpace /DeviceGray";
    const std::string white = " << /WhitePoint [0.95 1 1.09] >>] /BitsPerComponent ";
    const std::string palette16 =
        "/ColorSpace [/Indexed /DeviceRGB 15 " + palette(16) + "] /BitsPerComponent 4";
    const struct {
        const char* name;
        std::string entries;
        std::string data;
        const char* encodingAfter = "jpeg";
        int widthAfter = 288; // 600: left as it is
        int maskBits = 0;
        bool grayscale = false;
    } pictures[] = {
        {"photo", rgb + "8 /Filter /DCTDecode", rgbJPEG},
        {"CMYK photo",
         "/ColorSpace /DeviceCMYK /BitsPerComponent 8 /Filter /DCTDecode /Decode [1 0 1 0 1 0 1 0]",
         cmykJPEG},
        {"photo turned gray", rgb + "8 /Filter /DCTDecode", rgbJPEG, "jpeg", 288, 0, true},
        {"8-bit RGB with an 8-bit soft mask", rgb + "8", grain(3, 8), "jpeg", 288, 8},
        {"16-bit RGB with a 16-bit soft mask", rgb + "16", grain(3, 16), "jpeg", 288, 16},
        {"calibrated RGB", "/ColorSpace [/CalRGB" + white + "8", grain(3, 8)},
        {"4-bit palette", palette16, grain(1, 4), "image"},
        {"palette turned gray", palette16, grain(1, 4), "image", 288, 0, true},
        {"masked palette", "/ColorSpace [/I /DeviceRGB 200 " + palette(201) + "] /BitsPerComponent 8",
         grain(1, 8), "image", 288, 8},
        {"2-bit gray", "/ColorSpace [/CalGray" + white + "2", grain(1, 2), "image"},
        {"inverted line art", gray + " /BitsPerComponent 1 /Decode [1 0]", grain(1, 1), "image"},
        {"JPEG 2000", rgb + "8 /Filter /JPXDecode", junk, "jpx", 600},
        {"JBIG2", gray + " /BitsPerComponent 1 /Filter /JBIG2Decode", junk, "jbig2", 600},
        {"CCITT", gray + " /BitsPerComponent 1 /Filter /CCITTFaxDecode", junk, "ccitt", 600},
        {"colour key", rgb + "8 /Mask [0 20 0 20 0 20]", grain(3, 8), "image", 600},
        {"pre-multiplied", rgb + "8 /Matte [0 0 0]", grain(3, 8), "image", 600, 8},
        {"Lab", "/ColorSpace [/Lab" + white + "8", grain(3, 8), "image", 600},
        {"3 bits", rgb + "3", grain(3, 4), "image", 600},
        {"short data", rgb + "8", grain(1, 8), "image", 600},
        {"decode array too long", rgb + "8 /Decode [0 1 0 1 0 1 0 1]", grain(3, 8), "image", 600},
    };
    for (const auto& row : pictures) {
        SCOPED_TRACE(row.name);
        const fs::path source = directory / (std::string(row.name) + ".pdf");
        imagePDF(source, row.entries, row.data, row.maskBits);
        const JobOutcome outcome = BatchRunner::processPDF(
            source,
            {.resolution = keepText.resolution, .grayscale = row.grayscale, .method = keepText.method});

        ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
        EXPECT_LE(outcome.outputBytes, outcome.originalBytes);
        testing::expectClean(*outcome.output);
        const auto images = testing::embeddedImages(*outcome.output);
        ASSERT_EQ(images.size(), row.maskBits ? 2u : 1u);
        EXPECT_EQ(images.front().encoding, row.encodingAfter);
        EXPECT_EQ(std::pair(images.front().width, images.front().height),
                  std::pair(row.widthAfter, row.widthAfter * 2 / 3));
        if (row.widthAfter == 600)
            continue;
        EXPECT_EQ(images.front().color,
                  row.grayscale ? "gray" : testing::embeddedImages(source).front().color);
        EXPECT_LT(testing::pageDifference(source, 1, *outcome.output, 1, 72), 8);
    }
}

// The picture drawn at half size from a form and at full size as the tile of a pattern: the largest
// size at which it is drawn, inside either, sets its resolution.
TEST(PDFRewriter, FindsPicturesInFormsAndPatterns) {
    testing::TemporaryDirectory directory;
    const fs::path source = directory / "tiled.pdf";
    imagePDF(source, "/ColorSpace /DeviceRGB /BitsPerComponent 8", grain(3, 8), 0);
    {
        QPDF document;
        document.processFile(source.c_str());
        QPDFObjectHandle page = QPDFPageDocumentHelper(document).getAllPages().front().getObjectHandle();
        QPDFObjectHandle resources = page.getKey("/Resources");
        const QPDFObjectHandle pictures = resources.getKey("/XObject");
        const auto drawing = [&](const std::string& dictionary) {
            QPDFObjectHandle stream = QPDFObjectHandle::newStream(&document, "216 0 0 144 0 0 cm /Im0 Do");
            stream.replaceDict(QPDFObjectHandle::parse(dictionary));
            stream.getDict().replaceKey("/Resources", QPDFObjectHandle::parse("<< >>"));
            stream.getDict().getKey("/Resources").replaceKey("/XObject", pictures);
            return stream;
        };
        resources.replaceKey("/XObject", QPDFObjectHandle::parse("<< >>"));
        resources.getKey("/XObject")
            .replaceKey("/Fm0", drawing("<< /Type /XObject /Subtype /Form /BBox [0 0 216 144] >>"));
        resources.replaceKey("/Pattern", QPDFObjectHandle::parse("<< >>"));
        resources.getKey("/Pattern")
            .replaceKey("/P0",
                        drawing("<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 216 144] /XStep 216 "
                                "/YStep 144 >>"));
        page.replaceKey("/Contents",
                        QPDFObjectHandle::newStream(&document, "q 0.5 0 0 0.5 0 0 cm /Fm0 Do Q "
                                                               "/Pattern cs /P0 scn 0 72 216 72 re f"));
        QPDFWriter(document, (source.string() + ".tiled").c_str()).write();
        fs::rename(source.string() + ".tiled", source);
    }

    const JobOutcome outcome = BatchRunner::processPDF(source, keepText);

    ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
    QPDF output;
    output.processFile(outcome.output->c_str());
    std::vector<int> widths;
    for (QPDFObjectHandle object : output.getAllObjects()) {
        if (object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Image"))
            widths.push_back(object.getDict().getKey("/Width").getIntValueAsInt());
    }
    EXPECT_EQ(widths, std::vector<int>{288}) << "one picture, at the pattern's 216 pt for 96 dpi";
}

} // namespace
} // namespace quillmorph
