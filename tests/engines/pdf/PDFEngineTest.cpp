#include "engines/pdf/PDFEngine.h"

#include "PDFFixtures.h"
#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/pdf/JPEGHeader.h"
#include "engines/pdf/PageMemoryBudget.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <thread>

namespace quillmorph {
namespace {

using Resolution = PDFSettings::Resolution;
using Bytes = std::vector<std::uint8_t>;

std::filesystem::path compressed(const std::filesystem::path& source, const PDFSettings& settings,
                                 const std::filesystem::path& output) {
    const auto result = PDFEngine::compress(source, settings);
    EXPECT_TRUE(result) << (result ? "" : describe(result.error()));
    if (result)
        testing::writeFile(output, std::string(result->begin(), result->end()));
    testing::expectClean(output);
    return output;
}

TEST(PDFEngine, PixelSizeScalesPointsRoundsHalvesAwayFromZeroAndKeepsWithinTheCaps) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        PageBox box;
        int dpi;
        PixelSize expected;
    } cases[] = {
        {{.x = 100, .y = -300, .width = 612, .height = 792}, 96, {816, 1056}},
        {{.width = 7.875, .height = 7.8}, 96, {11, 10}}, // 10.5 and 10.4
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
    const auto report = testing::reportPDF();
    const struct {
        Resolution resolution;
        bool grayscale, optimize;
        PixelSize letter, cropped; // a 612 × 792 pt page and a 460 × 360 pt crop box
    } cases[] = {{Resolution::web, false, false, {816, 1056}, {613, 480}},
                 {Resolution::docs, true, true, {1275, 1650}, {958, 750}},
                 {Resolution::print, false, true, {2550, 3300}, {1917, 1500}}};
    for (const auto& [resolution, grayscale, optimize, letter, cropped] : cases) {
        SCOPED_TRACE(toString(resolution));
        const auto output =
            compressed(report, {.resolution = resolution, .grayscale = grayscale, .optimize = optimize},
                       directory / "output.pdf");
        EXPECT_TRUE(testing::pageFacts(output) == testing::pageFacts(report));
        const auto images = testing::embeddedImages(output);
        ASSERT_EQ(images.size(), 2u);
        for (std::size_t page = 0; page < 2; ++page) {
            EXPECT_EQ(images[page].page, int(page) + 1);
            EXPECT_EQ((PixelSize{images[page].width, images[page].height}), page ? cropped : letter);
            EXPECT_EQ(images[page].color, grayscale ? "gray" : "rgb");
        }
        // The text, the shapes and the pictures survive as a picture.
        EXPECT_LT(testing::pageDifference(report, 1, output, 1, 20), 6);
        const std::string bytes = testing::readFile(output);
        EXPECT_EQ(bytes.find("/Creator () /Title () /Author () /Subject () >>") != std::string::npos,
                  optimize);
        EXPECT_EQ(bytes.find("/Producer (Quillmorph") != std::string::npos, !optimize);
        for (const char* copied : {"Secret plans", "Jane Roe", "Budget", "Typewriter"})
            EXPECT_EQ(bytes.find(copied), std::string::npos) << copied;
    }
}

TEST(PDFEngine, KeepsBoxesRotationsOrderAndLooksLeavingOutSpecksAndCappingHugePages) {
    testing::TemporaryDirectory directory;
    const auto portrait = testing::quarterJPEG(directory.path(), 90, 120);
    const auto landscape = testing::quarterJPEG(directory.path(), 120, 90);
    const PageBox shifted{.x = 100, .y = 200, .width = 300, .height = 400};
    const PageBox wide{.width = 300, .height = 200};
    const PageBox window{.x = 50, .y = 30, .width = 200, .height = 150};
    const PageBox negative{.x = -50, .y = -60, .width = 250, .height = 250};
    const PageBox huge{.width = 20000, .height = 20000};
    const PageBox speck{.width = 0.2, .height = 0.2}; // less than half a pixel at 96 dpi: left out
    const std::vector<PDFWriter::Page> pages{
        {.mediaBox = shifted, .pictureBox = shifted, .jpeg = portrait},
        {.mediaBox = wide, .pictureBox = wide, .rotation = -270, .jpeg = landscape},
        {.mediaBox = speck, .pictureBox = speck, .jpeg = portrait},
        {.mediaBox = {.width = 400, .height = 300}, .pictureBox = window, .rotation = 270, .jpeg = landscape},
        {.mediaBox = negative, .pictureBox = negative, .rotation = 180, .jpeg = portrait},
        {.mediaBox = huge, .pictureBox = huge, .rotation = 90, .jpeg = portrait},
    };
    testing::writePDF(directory / "source.pdf", pages);
    const auto output =
        compressed(directory / "source.pdf", {.resolution = Resolution::web}, directory / "output.pdf");

    const auto facts = testing::pageFacts(output);
    const auto images = testing::embeddedImages(output);
    ASSERT_EQ(facts.size(), 5u);
    ASSERT_EQ(images.size(), 5u);
    for (std::size_t page = 0; page < 5; ++page) {
        SCOPED_TRACE(page + 1);
        const std::size_t source = page < 2 ? page : page + 1;
        EXPECT_TRUE(facts[page] == (testing::PageFacts{pages[source].mediaBox, pages[source].pictureBox,
                                                       (pages[source].rotation + 360) % 360}));
        // The huge page, rendered in bands, is compared at a density that keeps its pixels few.
        EXPECT_LT(testing::pageDifference(directory / "source.pdf", int(source) + 1, output, int(page) + 1,
                                          page == 4 ? 2 : 24),
                  6);
    }
    // The crop box is what renders, unrotated: 200 × 150 points at 96 dpi.
    EXPECT_EQ(std::pair(images[2].width, images[2].height), std::pair(267, 200));
    EXPECT_EQ(std::pair(images[4].width, images[4].height), std::pair(7071, 7071));
}

TEST(PDFEngine, RejectsWhatDoesNotOpenAsAPDFOrHasNoPageToWriteButOpensEditLockedOnes) {
    testing::TemporaryDirectory directory;
    const auto source = testing::reportPDF();
    testing::writeFile(directory / "notes.pdf", "Just some notes, not a PDF at all.\n");
    std::filesystem::create_directory(directory / "folder.pdf");
    ASSERT_EQ(mkfifo((directory / "pipe.pdf").c_str(), 0600), 0);
    for (const char* password : {"user-secret", ""}) {
        testing::mustRun({"qpdf", "--encrypt", password, "owner-secret", "256", "--", source.string(),
                          (directory / (*password ? "locked.pdf" : "restricted.pdf")).string()});
    }
    testing::writeFile(directory / "stub.pdf", testing::readFile(source).substr(0, 100));
    testing::writePDF(directory / "no-pages.pdf", {});
    const auto jpeg = testing::quarterJPEG(directory.path(), 8, 8);
    const PageBox speck{.width = 0.2, .height = 0.2};
    testing::writePDF(directory / "specks.pdf", {{.mediaBox = speck, .pictureBox = speck, .jpeg = jpeg}});

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
    // Locked only against editing: opens without a password (through the job, as the application runs it).
    const JobOutcome restricted =
        BatchRunner::processPDF(directory / "restricted.pdf", {.resolution = Resolution::web});
    ASSERT_TRUE(restricted.succeeded()) << *restricted.error;
    EXPECT_EQ(testing::pageFacts(*restricted.output).size(), 2u);
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
