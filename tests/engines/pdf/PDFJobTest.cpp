#include "PDFFixtures.h"
#include "engines/batch/BatchRunner.h"
#include "engines/pdf/PDFEngineError.h"
#include "engines/pdf/PDFSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

TEST(PDFJob, WritesBesideTheSourceNeverOverwritingAndAFailureLeavesNothing) {
    testing::TemporaryDirectory directory;
    const fs::path report = directory / "report.pdf";
    const PageBox box{.width = 300, .height = 400};
    testing::writePDF(
        report,
        {{.mediaBox = box, .pictureBox = box, .jpeg = testing::quarterJPEG(directory.path(), 60, 80)}});
    testing::writeFile(directory / "notes.pdf", "plain text\n");
    const std::string source = testing::readFile(report);
    const PDFSettings settings{.resolution = PDFSettings::Resolution::web};

    const auto outcomes = BatchRunner::runPDF({report, directory / "notes.pdf"}, settings, {}, {});
    const JobOutcome again = BatchRunner::processPDF(report, settings);

    ASSERT_EQ(outcomes.size(), 2u);
    ASSERT_TRUE(outcomes[0].succeeded()) << *outcomes[0].error;
    ASSERT_TRUE(again.succeeded()) << *again.error;
    EXPECT_EQ(outcomes[0].output, directory / "report-compressed.pdf");
    EXPECT_EQ(again.output, directory / "report-compressed-1.pdf");
    EXPECT_EQ(outcomes[0].originalBytes, std::int64_t(source.size()));
    EXPECT_EQ(outcomes[0].outputBytes, std::int64_t(fs::file_size(*outcomes[0].output)));
    EXPECT_EQ(testing::readFile(report), source);
    EXPECT_EQ(testing::runTool({"qpdf", "--check", outcomes[0].output->string()}).exitCode, 0);
    const JobOutcome& failed = outcomes[1];
    EXPECT_EQ(failed.output, std::nullopt);
    EXPECT_EQ(failed.originalBytes, 11);
    EXPECT_EQ(failed.outputBytes, 0);
    EXPECT_EQ(failed.error, describe(PDFEngineError::unreadable(directory / "notes.pdf")));
    // No output of the failed file and no temporary left.
    EXPECT_EQ(testing::namesIn(directory.path()),
              (std::vector<std::string>{"60x80-rgb.jpg", "60x80-rgb.ppm", "notes.pdf",
                                        "report-compressed-1.pdf", "report-compressed.pdf", "report.pdf"}));
}

} // namespace
} // namespace quillmorph
