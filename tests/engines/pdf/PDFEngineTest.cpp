#include "engines/pdf/PDFEngine.h"

#include "PDFFixtures.h"
#include "common/Localization.h"
#include "engines/pdf/PageMemoryBudget.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <sys/stat.h>
#include <thread>

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
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
}

// The document-information value pdfinfo prints for `key` ("Title:  x"); nothing when it prints no such line.
std::optional<std::string> informationEntry(const std::filesystem::path& file, const std::string& key) {
    std::istringstream lines(testing::runTool({"pdfinfo", file.string()}).output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + ":", 0) != 0)
            continue;
        const std::size_t value = line.find_first_not_of(' ', key.size() + 1);
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return std::nullopt;
}

TEST(PDFEngine, PixelSizeScalesPointsRoundsHalvesAwayFromZeroAndKeepsWithinTheCaps) {
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
        // Beyond the pixel cap or the side cap: the largest size within both, each side rounded down.
        {{.width = 20000, .height = 20000}, 150, {7071, 7071}},
        {{.width = 1e12, .height = 3e11}, 96, {12909, 3872}},
        {{.width = 20000, .height = 10}, 300, {65000, 32}},
    };
    for (const auto& [box, dpi, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << box.width << " x " << box.height << " at " << dpi);
        EXPECT_EQ(PDFEngine::pixelSize(box, dpi), expected);
    }
}

// Document information is blank when optimizing, else only a Producer; the source's is never copied.
TEST(PDFEngine, RendersEachResolutionAtItsPixelSizeWithoutTheSourcesInformation) {
    testing::TemporaryDirectory directory;
    testing::ghostscriptPDF(directory / "letter.pdf", letterPages);
    ASSERT_EQ(informationEntry(directory / "letter.pdf", "Title"), "Secret plans");
    const struct {
        Resolution resolution;
        bool grayscale, optimize;
        int width, height;
    } cases[] = {{Resolution::web, false, false, 816, 1056},
                 {Resolution::docs, true, true, 1275, 1650},
                 {Resolution::print, false, true, 2550, 3300}};
    for (const auto& [resolution, grayscale, optimize, width, height] : cases) {
        SCOPED_TRACE(toString(resolution));
        const auto output =
            compressed(directory / "letter.pdf",
                       {.resolution = resolution, .grayscale = grayscale, .optimize = optimize},
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
        for (const char* key : {"Title", "Author", "Subject", "Creator"})
            EXPECT_EQ(informationEntry(output, key), optimize ? std::optional<std::string>("") : std::nullopt)
                << key;
        EXPECT_EQ(informationEntry(output, "Producer").value_or("-").rfind("Quillmorph", 0),
                  optimize ? std::string::npos : 0u);
        EXPECT_EQ(testing::readFile(output).find("Jane Roe"), std::string::npos);
    }
}

TEST(PDFEngine, KeepsBoxesRotationsOrderAndLooksLeavingOutSpecksAndCappingHugePages) {
    testing::TemporaryDirectory directory;
    const auto portrait = testing::quarterJPEG(directory.path(), 90, 120);
    const auto landscape = testing::quarterJPEG(directory.path(), 120, 90);
    const PageBox shifted{.x = 100, .y = 200, .width = 300, .height = 400};
    const PageBox wide{.width = 300, .height = 200};
    const PageBox sheet{.width = 400, .height = 300};
    const PageBox window{.x = 50, .y = 30, .width = 200, .height = 150};
    const PageBox negative{.x = -50, .y = -60, .width = 250, .height = 250};
    const PageBox huge{.width = 20000, .height = 20000};
    const std::vector<PDFWriter::Page> pages{
        {.mediaBox = shifted, .pictureBox = shifted, .jpeg = portrait},
        {.mediaBox = wide, .pictureBox = wide, .rotation = -270, .jpeg = landscape},
        {.mediaBox = sheet, .pictureBox = window, .rotation = 270, .jpeg = landscape},
        {.mediaBox = negative, .pictureBox = negative, .rotation = 180, .jpeg = portrait},
        {.mediaBox = huge, .pictureBox = huge, .rotation = 90, .jpeg = portrait},
    };
    const PageBox speck{.width = 0.2, .height = 0.2}; // less than half a pixel at 96 dpi
    auto withSpeck = pages;
    withSpeck.insert(withSpeck.begin() + 2, {.mediaBox = speck, .pictureBox = speck, .jpeg = portrait});
    testing::writePDF(directory / "source.pdf", withSpeck);
    const auto output = compressed(directory / "source.pdf", {.resolution = Resolution::web}, "output.pdf");
    expectValid(output);

    const auto facts = testing::pageFacts(output);
    const auto images = testing::embeddedImages(output);
    ASSERT_EQ(facts.size(), pages.size());
    ASSERT_EQ(images.size(), pages.size());
    for (std::size_t page = 0; page < pages.size(); ++page) {
        SCOPED_TRACE(page + 1);
        EXPECT_EQ(facts[page].mediaBox, pages[page].mediaBox);
        EXPECT_EQ(facts[page].cropBox, pages[page].pictureBox);
        EXPECT_EQ(facts[page].rotation, (pages[page].rotation + 360) % 360);
        // The huge page, rendered in bands, is compared at a density that keeps its pixels few.
        const int sourcePage = int(page) + (page < 2 ? 1 : 2), density = page == 4 ? 2 : 24;
        EXPECT_LT(testing::meanDifference(testing::renderPage(directory / "source.pdf", sourcePage, density),
                                          testing::renderPage(output, int(page) + 1, density)),
                  6);
    }
    // The crop box is what renders, unrotated: 200 × 150 points at 96 dpi.
    EXPECT_EQ(images[2].width, 267);
    EXPECT_EQ(images[2].height, 200);
    EXPECT_EQ(images[4].width, 7071);
    EXPECT_EQ(images[4].height, 7071);
}

TEST(PDFEngine, RejectsWhatDoesNotOpenAsAPDFOrHasNoPageToWriteButOpensEditLockedOnes) {
    testing::TemporaryDirectory directory;
    testing::ghostscriptPDF(directory / "source.pdf", letterPages);
    testing::writeFile(directory / "notes.pdf", "Just some notes, not a PDF at all.\n");
    std::filesystem::create_directory(directory / "folder.pdf");
    ASSERT_EQ(mkfifo((directory / "pipe.pdf").c_str(), 0600), 0);
    testing::mustRun({"qpdf", "--encrypt", "user-secret", "owner-secret", "256", "--",
                      (directory / "source.pdf").string(), (directory / "locked.pdf").string()});
    testing::writeFile(directory / "stub.pdf", testing::readFile(directory / "source.pdf").substr(0, 100));
    testing::writePDF(directory / "no-pages.pdf", {});
    const auto jpeg = testing::quarterJPEG(directory.path(), 8, 8);
    const PageBox speck{.width = 0.2, .height = 0.2}; // less than half a pixel at 96 dpi
    testing::writePDF(directory / "specks.pdf", {{.mediaBox = speck, .pictureBox = speck, .jpeg = jpeg},
                                                 {.mediaBox = speck, .pictureBox = speck, .jpeg = jpeg}});

    for (const char* name : {"notes.pdf", "missing.pdf", "folder.pdf", "pipe.pdf", "locked.pdf", "stub.pdf",
                             "no-pages.pdf", "specks.pdf"}) {
        SCOPED_TRACE(name);
        const auto result = PDFEngine::compress(directory / name, {.resolution = Resolution::web});
        ASSERT_FALSE(result);
        const bool opens = std::string_view(name) == "no-pages.pdf" || std::string_view(name) == "specks.pdf";
        EXPECT_EQ(result.error(),
                  opens ? PDFEngineError::encodingFailed() : PDFEngineError::unreadable(directory / name));
        EXPECT_EQ(describe(result.error()),
                  opens ? Localization::string(Phrase::errorPdfEncoding)
                        : Localization::string(Phrase::errorPdfUnreadable, {{"file", name}}));
    }

    // Locked only against editing: opens without a password.
    testing::mustRun({"qpdf", "--encrypt", "", "owner-secret", "256", "--",
                      (directory / "source.pdf").string(), (directory / "restricted.pdf").string()});
    const auto output =
        compressed(directory / "restricted.pdf", {.resolution = Resolution::web}, "output.pdf");
    expectValid(output);
    EXPECT_EQ(testing::pageFacts(output).size(), 2u);
}

TEST(PageMemoryBudget, PagesWaitUntilTheirPixelsAreFreeAndAHugePageTakesItAll) {
    PageMemoryBudget budget(100);
    std::atomic<bool> reserved = false;
    std::jthread waiter;
    {
        const auto held = budget.reserve(60);
        const auto alongside = budget.reserve(40);
        waiter = std::jthread([&] {
            const auto all = budget.reserve(1000);
            reserved = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(reserved);
    }
    waiter.join();
    EXPECT_TRUE(reserved);
    const auto everything = budget.reserve(100);
}

} // namespace
} // namespace quillmorph
