#include "PDFFixtures.h"
#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/pdf/PDFEngineError.h"
#include "engines/pdf/PDFSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

void writeReport(const fs::path& file) {
    const auto jpeg = testing::quarterJPEG(file.parent_path(), 60, 80);
    const PageBox box{.width = 300, .height = 400};
    testing::writePDF(file, {{.mediaBox = box, .pictureBox = box, .jpeg = jpeg}});
}

TEST(PDFJob, WritesBesideTheSourceWithoutEverOverwriting) {
    testing::TemporaryDirectory directory;
    const fs::path report = directory / "report.pdf";
    writeReport(report);
    const std::string source = testing::readFile(report);
    const PDFSettings settings{.resolution = PDFSettings::Resolution::web};

    const JobOutcome first = BatchRunner::processPDF(report, settings);
    const JobOutcome second = BatchRunner::processPDF(report, settings);

    ASSERT_TRUE(first.succeeded()) << *first.error;
    ASSERT_TRUE(second.succeeded()) << *second.error;
    EXPECT_EQ(first.output, directory / "report-compressed.pdf");
    EXPECT_EQ(second.output, directory / "report-compressed-1.pdf");
    EXPECT_EQ(first.originalBytes, std::int64_t(source.size()));
    EXPECT_EQ(first.outputBytes, std::int64_t(fs::file_size(*first.output)));
    EXPECT_EQ(testing::readFile(report), source);
    EXPECT_EQ(testing::runTool({"qpdf", "--check", first.output->string()}).exitCode, 0);
    EXPECT_EQ(testing::namesIn(directory.path()),
              (std::vector<std::string>{"60x80-rgb.jpg", "60x80-rgb.ppm", "report-compressed-1.pdf",
                                        "report-compressed.pdf", "report.pdf"}));
}

TEST(PDFJob, FailureLeavesNothingBehindAndKeepsInputOrder) {
    testing::TemporaryDirectory directory;
    writeReport(directory / "first.pdf");
    testing::writeFile(directory / "notes.pdf", "plain text\n");
    writeReport(directory / "last.pdf");
    std::vector<std::size_t> progress;

    const auto outcomes =
        BatchRunner::runPDF({directory / "first.pdf", directory / "notes.pdf", directory / "last.pdf"},
                            {.resolution = PDFSettings::Resolution::web},
                            [&](std::size_t done, std::size_t total) {
                                EXPECT_EQ(total, 3u);
                                progress.push_back(done);
                            },
                            {});

    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].output, directory / "first-compressed.pdf");
    EXPECT_EQ(outcomes[2].output, directory / "last-compressed.pdf");
    const JobOutcome& failed = outcomes[1];
    EXPECT_EQ(failed.source, directory / "notes.pdf");
    EXPECT_EQ(failed.output, std::nullopt);
    EXPECT_EQ(failed.originalBytes, 11);
    EXPECT_EQ(failed.outputBytes, 0);
    EXPECT_EQ(failed.error, describe(PDFEngineError::unreadable(directory / "notes.pdf")));
    EXPECT_EQ(progress, (std::vector<std::size_t>{1, 2, 3}));
    for (const std::string& name : testing::namesIn(directory.path())) {
        SCOPED_TRACE(name);
        EXPECT_EQ(name.find("notes-"), std::string::npos);
        EXPECT_NE(name.front(), '.') << "no temporary file is left";
    }
}

} // namespace
} // namespace quillmorph
