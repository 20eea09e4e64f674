#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;
using testing::TemporaryDirectory;

// Bytes and modification time: what "untouched" means for a source.
std::pair<std::string, fs::file_time_type> snapshot(const fs::path& file) {
    return {testing::readFile(file), fs::last_write_time(file)};
}

TEST(ImageJob, EachBadFileFailsAloneLeavingNothingBehind) {
    TemporaryDirectory directory;
    const fs::path good = directory / "good.jpg";
    const fs::path truncated = directory / "truncated.jpg";
    const fs::path fifo = directory / "fifo.png";
    testing::mustRun({"vips", "gaussnoise", good.string(), "64", "48"});
    const std::string goodBytes = testing::readFile(good);
    testing::writeFile(truncated, goodBytes.substr(0, goodBytes.size() / 3));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A readable source in a folder nobody can write to, even root: /proc/self/fd.
    testing::writeFile(directory / "locked-away.jpg", goodBytes);
    const int descriptor = open((directory / "locked-away.jpg").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    const fs::path unwritable = "/proc/self/fd/" + std::to_string(descriptor);
    const BatchRunner::Files files{truncated, good, fifo, unwritable};
    const fs::path sources[] = {truncated, good, unwritable};
    std::vector<std::pair<std::string, fs::file_time_type>> before;
    for (const fs::path& file : sources)
        before.push_back(snapshot(file));
    auto expectedEntries = namesIn(directory.path());

    const auto outcomes = BatchRunner::run(
        files, {.format = ImageFormat::webp, .sizing = FrameSizing::untouched(), .quality = 0.5}, {}, {});

    ASSERT_EQ(outcomes.size(), files.size());
    for (std::size_t index = 0; index < files.size(); ++index) {
        const JobOutcome& outcome = outcomes[index];
        SCOPED_TRACE(files[index].string());
        EXPECT_EQ(outcome.source, files[index]);
        EXPECT_EQ(outcome.originalBytes,
                  files[index] == fifo ? 0 : std::int64_t(fs::file_size(files[index])));
        EXPECT_EQ(outcome.succeeded(), files[index] == good);
        if (files[index] == good) {
            EXPECT_EQ(outcome.output, directory / "good-converted.webp");
            continue;
        }
        EXPECT_FALSE(outcome.output);
        EXPECT_EQ(outcome.outputBytes, 0);
        ASSERT_TRUE(outcome.error);
        if (files[index] == unwritable)
            EXPECT_TRUE(outcome.error->starts_with(std::to_string(descriptor) + "-converted.webp: "))
                << *outcome.error;
        else
            EXPECT_EQ(*outcome.error, describe(ImageEngineError::unreadable(files[index])));
    }
    for (std::size_t index = 0; index < before.size(); ++index)
        EXPECT_EQ(snapshot(sources[index]), before[index]) << sources[index];
    close(descriptor);
    expectedEntries.push_back("good-converted.webp");
    std::ranges::sort(expectedEntries);
    EXPECT_EQ(namesIn(directory.path()), expectedEntries);
}

// Over random sources and boxes the output, beside its source, has exactly FrameSizing's geometry:
// the batch sizes once. Converting again never overwrites the first output.
TEST(ImageJob, OutputsHaveTheGeometryOfTheirSizing) {
    TemporaryDirectory directory;
    std::vector<std::pair<Size, FrameSizing>> rows{{{889, 750}, FrameSizing::exact(89, 866)},
                                                   {{27, 849}, FrameSizing::exact(820, 279)}};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> side(1, 900);
    while (rows.size() < 40) {
        const Size source{double(side(random)), double(side(random))};
        rows.emplace_back(source, rows.size() % 2 ? FrameSizing::exact(side(random), side(random))
                                                  : FrameSizing::fit(side(random), side(random)));
    }
    for (const auto& [size, sizing] : rows) {
        const std::string width = std::to_string(int(size.width));
        const std::string height = std::to_string(int(size.height));
        SCOPED_TRACE(width + "x" + height + " into " + std::to_string(sizing.width) + "x" +
                     std::to_string(sizing.height));
        const fs::path source = directory / (width + "x" + height + ".jpg");
        testing::mustRun({"vips", "black", source.string(), width, height});
        const JobOutcome outcome =
            BatchRunner::process(source, {.format = ImageFormat::jpg, .sizing = sizing, .quality = 0.5});
        ASSERT_TRUE(outcome.succeeded()) << *outcome.error;
        EXPECT_EQ(ImageEngine::pixelSize(*outcome.output),
                  sizing.geometry(size, FrameSizing::Dimensions::whole).output);
        EXPECT_EQ(outcome.originalBytes, std::int64_t(fs::file_size(source)));
        EXPECT_EQ(outcome.outputBytes, std::int64_t(fs::file_size(*outcome.output)));
    }
    const JobOutcome again = BatchRunner::process(
        directory / "889x750.jpg", {.format = ImageFormat::jpg, .sizing = rows[0].second, .quality = 0.5});
    EXPECT_EQ(again.output, directory / "889x750-converted-1.jpg");
    EXPECT_EQ(testing::readFile(*again.output), testing::readFile(directory / "889x750-converted.jpg"));
}

} // namespace
} // namespace quillmorph
