#include "engines/pdf/PDFEngine.h"

#include "PDFFixtures.h"
#include "common/Localization.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <sys/stat.h>

namespace quillmorph {
namespace {

using Resolution = PDFSettings::Resolution;

// Two letter pages of text and shapes, with document information of their own.
constexpr const char* letterPages = R"(%!PS
[/Title (Secret plans) /Author (Jane Roe) /Subject (Budget) /Creator (Typewriter) /DOCINFO pdfmark
/Helvetica findfont 24 scalefont setfont
1 1 2 {
  /n exch def
  << /PageSize [612 792] >> setpagedevice
  72 700 moveto (Page ) show n 3 string cvs show
  1 0 0 setrgbcolor 72 72 200 200 rectfill
  0 0 1 setrgbcolor 340 400 200 100 rectfill
  showpage
} for
)";

std::filesystem::path compressed(const std::filesystem::path& source, const PDFSettings& settings,
                                 const std::string& name) {
    const auto result = PDFEngine::compress(source, settings);
    EXPECT_TRUE(result) << (result ? "" : describe(result.error()));
    const std::filesystem::path output = source.parent_path() / name;
    if (result)
        testing::writeBytes(output, *result);
    return output;
}

void expectValid(const std::filesystem::path& file) {
    const testing::CommandResult check = testing::runTool({"qpdf", "--check", file.string()});
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

// The value pdfinfo prints for `key`; nothing when it prints no such line.
std::optional<std::string> informationEntry(const std::string& information, const std::string& key) {
    std::istringstream lines(information);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + ":", 0) != 0)
            continue;
        const std::size_t value = line.find_first_not_of(' ', key.size() + 1);
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return std::nullopt;
}

TEST(PDFEngine, PixelSizeScalesPointsAndRoundsHalvesAwayFromZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        PageBox box;
        int dpi;
        PixelSize expected;
    } cases[] = {
        {{.width = 612, .height = 792}, 96, {816, 1056}},
        {{.x = 100, .y = -300, .width = 612, .height = 792}, 96, {816, 1056}},
        {{.width = 7.875, .height = 7.8}, 96, {11, 10}}, // 10.5 and 10.4
        {{.width = 300, .height = 200}, 96, {400, 267}},
        {{.width = 0.2, .height = 0.2}, 96, {0, 0}},
        {{.width = -612, .height = 792}, 150, {0, 0}},
        {{.width = nan, .height = 792}, 150, {0, 0}},
    };
    for (const auto& [box, dpi, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << box.width << " x " << box.height << " at " << dpi);
        EXPECT_EQ(PDFEngine::pixelSize(box, dpi), expected);
    }
}

TEST(PDFEngine, PixelSizeOfHugePagesStaysWithinTheLimits) {
    const struct {
        PageBox box;
        int dpi;
    } cases[] = {
        {{.width = 20000, .height = 20000}, 150},
        {{.width = 20000, .height = 10}, 300},
        {{.width = 1e12, .height = 3e11}, 96},
    };
    for (const auto& [box, dpi] : cases) {
        SCOPED_TRACE(::testing::Message() << box.width << " x " << box.height << " at " << dpi);
        const PixelSize size = PDFEngine::pixelSize(box, dpi);
        EXPECT_LE(double(size.width) * size.height, PDFEngine::maxPagePixels);
        EXPECT_LE(std::max(size.width, size.height), PDFEngine::maxPageSide);
        // Each side is rounded down on its own, so the aspect ratio may drift by up to a pixel a side.
        const double aspect = box.width / box.height;
        EXPECT_NEAR(double(size.width) / size.height, aspect,
                    aspect * (1.0 / size.width + 1.0 / size.height));
        // As large as the limits allow: one more pixel each way would break one of them.
        EXPECT_TRUE(double(size.width + 1) * (size.height + 1) > PDFEngine::maxPagePixels ||
                    std::max(size.width, size.height) + 1 > PDFEngine::maxPageSide);
    }
}

TEST(PDFEngine, RendersEachResolutionAtItsPixelSize) {
    testing::TemporaryDirectory directory;
    testing::ghostscriptPDF(directory / "letter.pdf", letterPages);
    const struct {
        Resolution resolution;
        bool grayscale;
        int width, height;
    } cases[] = {{Resolution::web, false, 816, 1056},
                 {Resolution::docs, true, 1275, 1650},
                 {Resolution::print, false, 2550, 3300}};
    for (const auto& [resolution, grayscale, width, height] : cases) {
        SCOPED_TRACE(toString(resolution));
        const auto output =
            compressed(directory / "letter.pdf", {.resolution = resolution, .grayscale = grayscale},
                       std::string(toString(resolution)) + ".pdf");
        expectValid(output);
        const auto pages = testing::pageFacts(output);
        ASSERT_EQ(pages.size(), 2u);
        const auto images = testing::embeddedImages(output);
        ASSERT_EQ(images.size(), 2u);
        for (std::size_t page = 0; page < 2; ++page) {
            EXPECT_EQ(pages[page].mediaBox, (PageBox{.width = 612, .height = 792}));
            EXPECT_EQ(images[page].page, int(page) + 1);
            EXPECT_EQ(images[page].width, width);
            EXPECT_EQ(images[page].height, height);
            EXPECT_EQ(images[page].color, grayscale ? "gray" : "rgb");
            EXPECT_EQ(images[page].encoding, "jpeg");
        }
        // The text and the shapes survive as a picture.
        EXPECT_LT(testing::meanDifference(testing::renderPage(directory / "letter.pdf", 1, 20),
                                          testing::renderPage(output, 1, 20)),
                  4);
    }
}

TEST(PDFEngine, KeepsBoxesAndRotationsAndHowPagesLook) {
    testing::TemporaryDirectory directory;
    const auto portrait = testing::quarterJPEG(directory.path(), 90, 120);
    const auto landscape = testing::quarterJPEG(directory.path(), 120, 90);
    const PageBox shifted{.x = 100, .y = 200, .width = 300, .height = 400};
    const PageBox wide{.width = 300, .height = 200};
    const PageBox sheet{.width = 400, .height = 300};
    const PageBox window{.x = 50, .y = 30, .width = 200, .height = 150};
    const PageBox negative{.x = -50, .y = -60, .width = 250, .height = 250};
    const std::vector<PDFWriter::Page> pages{
        {.mediaBox = shifted, .pictureBox = shifted, .jpeg = portrait},
        {.mediaBox = wide, .pictureBox = wide, .rotation = 90, .jpeg = landscape},
        {.mediaBox = sheet, .pictureBox = window, .rotation = 270, .jpeg = landscape},
        {.mediaBox = negative, .pictureBox = negative, .rotation = 180, .jpeg = portrait},
    };
    testing::writePDF(directory / "source.pdf", pages);
    const auto output = compressed(directory / "source.pdf", {.resolution = Resolution::web}, "output.pdf");
    expectValid(output);

    const auto facts = testing::pageFacts(output);
    ASSERT_EQ(facts.size(), pages.size());
    for (std::size_t page = 0; page < pages.size(); ++page) {
        SCOPED_TRACE(page + 1);
        EXPECT_EQ(facts[page].mediaBox, pages[page].mediaBox);
        EXPECT_EQ(facts[page].cropBox, pages[page].pictureBox);
        EXPECT_EQ(facts[page].rotation, (pages[page].rotation + 360) % 360);
        EXPECT_LT(testing::meanDifference(testing::renderPage(directory / "source.pdf", int(page) + 1, 24),
                                          testing::renderPage(output, int(page) + 1, 24)),
                  6);
    }
    const auto images = testing::embeddedImages(output);
    ASSERT_EQ(images.size(), pages.size());
    // The crop box is what renders, unrotated: 200 × 150 points at 96 dpi.
    EXPECT_EQ(images[2].width, 267);
    EXPECT_EQ(images[2].height, 200);
}

TEST(PDFEngine, DocumentInformationIsBlankWhenOptimizingAndNeverCopied) {
    testing::TemporaryDirectory directory;
    testing::ghostscriptPDF(directory / "source.pdf", letterPages);
    ASSERT_EQ(informationEntry(testing::documentInformation(directory / "source.pdf"), "Title"),
              "Secret plans");

    const auto optimized = compressed(directory / "source.pdf", {.optimize = true}, "optimized.pdf");
    const std::string blank = testing::documentInformation(optimized);
    for (const char* key : {"Title", "Author", "Subject", "Creator"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(informationEntry(blank, key), "");
    }
    EXPECT_EQ(informationEntry(blank, "Producer"), std::nullopt);

    const auto plain = compressed(directory / "source.pdf", {.optimize = false}, "plain.pdf");
    const std::string producer = testing::documentInformation(plain);
    EXPECT_EQ(informationEntry(producer, "Producer").value_or("").rfind("Quillmorph", 0), 0u);
    for (const char* key : {"Title", "Author", "Subject", "Creator"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(informationEntry(producer, key), std::nullopt);
    }
    for (const auto& file : {optimized, plain}) {
        const std::string bytes = testing::readFile(file);
        EXPECT_EQ(bytes.find("Secret plans"), std::string::npos);
        EXPECT_EQ(bytes.find("Jane Roe"), std::string::npos);
    }
}

TEST(PDFEngine, WritesPagesInOrderLeavingOutSpecksAndCappingHugePages) {
    testing::TemporaryDirectory directory;
    const auto jpeg = testing::quarterJPEG(directory.path(), 40, 40);
    std::vector<PDFWriter::Page> pages;
    for (int page = 0; page < 11; ++page) {
        const PageBox box{.width = 100.0 + 10 * page, .height = 150};
        pages.push_back({.mediaBox = box, .pictureBox = box, .jpeg = jpeg});
    }
    const PageBox huge{.width = 20000, .height = 20000};
    pages[3] = {.mediaBox = huge, .pictureBox = huge, .jpeg = jpeg};
    const PageBox speck{.width = 0.2, .height = 0.2}; // less than half a pixel at 96 dpi
    auto withSpeck = pages;
    withSpeck.insert(withSpeck.begin() + 5, {.mediaBox = speck, .pictureBox = speck, .jpeg = jpeg});
    testing::writePDF(directory / "steps.pdf", withSpeck);
    const auto output = compressed(directory / "steps.pdf", {.resolution = Resolution::web}, "output.pdf");
    expectValid(output);
    const auto facts = testing::pageFacts(output);
    const auto images = testing::embeddedImages(output);
    ASSERT_EQ(facts.size(), pages.size());
    ASSERT_EQ(images.size(), pages.size());
    for (std::size_t page = 0; page < pages.size(); ++page) {
        SCOPED_TRACE(page + 1);
        EXPECT_EQ(facts[page].mediaBox, pages[page].mediaBox);
        EXPECT_EQ(images[page].width, PDFEngine::pixelSize(pages[page].mediaBox, 96).width);
    }
    EXPECT_EQ(images[3].width, 7071);
    EXPECT_EQ(images[3].height, 7071);
}

TEST(PDFEngine, RejectsWhatDoesNotOpenAsAPDFButOpensEditLockedOnes) {
    testing::TemporaryDirectory directory;
    testing::ghostscriptPDF(directory / "source.pdf", letterPages);
    testing::writeFile(directory / "notes.pdf", "Just some notes, not a PDF at all.\n");
    std::filesystem::create_directory(directory / "folder.pdf");
    ASSERT_EQ(mkfifo((directory / "pipe.pdf").c_str(), 0600), 0);
    testing::mustRun({"qpdf", "--encrypt", "user-secret", "owner-secret", "256", "--",
                      (directory / "source.pdf").string(), (directory / "locked.pdf").string()});
    const std::string source = testing::readFile(directory / "source.pdf");
    testing::writeFile(directory / "stub.pdf", source.substr(0, 100));

    for (const char* name :
         {"notes.pdf", "missing.pdf", "folder.pdf", "pipe.pdf", "locked.pdf", "stub.pdf"}) {
        SCOPED_TRACE(name);
        const auto result = PDFEngine::compress(directory / name, {});
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), PDFEngineError::unreadable(directory / name));
        EXPECT_EQ(describe(result.error()),
                  Localization::string(Phrase::errorPdfUnreadable, {{"file", name}}));
    }

    // Locked only against editing: opens without a password.
    testing::mustRun({"qpdf", "--encrypt", "", "owner-secret", "256", "--",
                      (directory / "source.pdf").string(), (directory / "restricted.pdf").string()});
    const auto output = compressed(directory / "restricted.pdf", {.resolution = Resolution::web}, "output.pdf");
    expectValid(output);
    EXPECT_EQ(testing::pageFacts(output).size(), 2u);
}

TEST(PDFEngine, NoPageToWriteIsAnEncodingError) {
    testing::TemporaryDirectory directory;
    auto empty = PDFWriter(PDFWriter::Information::producer).finish();
    ASSERT_TRUE(empty);
    testing::writeBytes(directory / "no-pages.pdf", *empty);
    expectValid(directory / "no-pages.pdf");
    const auto jpeg = testing::quarterJPEG(directory.path(), 8, 8);
    const PageBox speck{.width = 0.2, .height = 0.2};
    testing::writePDF(directory / "specks.pdf", {{.mediaBox = speck, .pictureBox = speck, .jpeg = jpeg},
                                                 {.mediaBox = speck, .pictureBox = speck, .jpeg = jpeg}});

    for (const char* name : {"no-pages.pdf", "specks.pdf"}) {
        SCOPED_TRACE(name);
        const auto result = PDFEngine::compress(directory / name, {.resolution = Resolution::web});
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), PDFEngineError::encodingFailed());
        EXPECT_EQ(describe(result.error()), Localization::string(Phrase::errorPdfEncoding));
    }
}

TEST(PDFEngine, TruncatedDocumentsFailOrGiveValidFiles) {
    testing::TemporaryDirectory directory;
    testing::ghostscriptPDF(directory / "source.pdf", letterPages);
    const std::string source = testing::readFile(directory / "source.pdf");
    for (double fraction : {0.5, 0.97}) {
        SCOPED_TRACE(fraction);
        const std::filesystem::path cut = directory / "cut.pdf";
        testing::writeFile(cut, source.substr(0, std::size_t(double(source.size()) * fraction)));
        const auto result = PDFEngine::compress(cut, {.resolution = Resolution::web});
        if (!result) {
            EXPECT_NE(result.error().kind, PDFEngineError::Kind::renderFailed);
            continue;
        }
        testing::writeBytes(directory / "output.pdf", *result);
        expectValid(directory / "output.pdf");
        EXPECT_LE(testing::pageFacts(directory / "output.pdf").size(), 2u);
    }
}

} // namespace
} // namespace quillmorph
