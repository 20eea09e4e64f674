#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageEngineError.h"
#include "engines/image/ImageSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;
using testing::TemporaryDirectory;

std::string vipsField(const fs::path& image, const std::string& field) {
    testing::CommandResult result = testing::runTool({"vipsheader", "-f", field, image.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output.substr(0, result.output.find('\n'));
}

// Bytes and modification time: what "untouched" means for a source.
struct Snapshot {
    std::string bytes;
    fs::file_time_type modified;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const fs::path& file) {
    return {testing::readFile(file), fs::last_write_time(file)};
}

TEST(ImageJob, ConvertsBesideTheSourceAgainWithoutOverwritingAndAppliesSizing) {
    TemporaryDirectory directory;
    const fs::path photo = directory / "photo.jpg";
    testing::mustRun({"vips", "gaussnoise", photo.string() + "[Q=90]", "97", "61"});
    const Snapshot before = snapshot(photo);
    const ImageSettings settings{
        .format = ImageFormat::webp, .sizing = FrameSizing::fit(50, 50), .quality = 0.75};

    JobOutcome first = BatchRunner::process(photo, settings);
    JobOutcome second = BatchRunner::process(photo, settings);

    ASSERT_TRUE(first.succeeded()) << *first.error;
    ASSERT_TRUE(second.succeeded()) << *second.error;
    EXPECT_EQ(first.source, photo);
    EXPECT_EQ(first.output, directory / "photo-converted.webp");
    EXPECT_EQ(second.output, directory / "photo-converted-1.webp");
    EXPECT_EQ(first.originalBytes, std::int64_t(fs::file_size(photo)));
    EXPECT_EQ(first.outputBytes, std::int64_t(fs::file_size(*first.output)));
    EXPECT_EQ(testing::readFile(*first.output).substr(8, 4), "WEBP");
    EXPECT_EQ(vipsField(*first.output, "width"), "50");
    EXPECT_EQ(vipsField(*first.output, "height"), "31");
    EXPECT_EQ(testing::readFile(*first.output), testing::readFile(*second.output));
    EXPECT_EQ(snapshot(photo), before);
    EXPECT_EQ(namesIn(directory.path()),
              (std::vector<std::string>{"photo-converted-1.webp", "photo-converted.webp", "photo.jpg"}));
}

TEST(ImageJob, EachBadFileFailsAloneLeavingNothingBehind) {
    TemporaryDirectory directory;
    const fs::path good = directory / "good.jpg";
    const fs::path truncated = directory / "truncated.jpg";
    const fs::path folder = directory / "folder.jpg";
    const fs::path deleted = directory / "deleted.jpg";
    const fs::path bomb = directory / "bomb.png";
    testing::mustRun({"vips", "gaussnoise", good.string(), "64", "48"});
    const std::string goodBytes = testing::readFile(good);
    testing::writeFile(truncated, goodBytes.substr(0, goodBytes.size() / 3));
    fs::create_directory(folder);
    testing::writeFile(deleted, goodBytes);
    fs::remove(deleted);
    // Over 400 megapixels, yet valid and small on disk.
    testing::mustRun({"vips", "black", bomb.string() + "[compression=1]", "20500", "20500"});

    // A readable source in a folder nobody can write to, even root: /proc/self/fd.
    const fs::path lockedAway = directory / "locked-away.jpg";
    testing::writeFile(lockedAway, goodBytes);
    const int descriptor = open(lockedAway.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    const fs::path unwritable = "/proc/self/fd/" + std::to_string(descriptor);

    const BatchRunner::Files files{truncated, good, folder, deleted, bomb, unwritable};
    std::vector<std::int64_t> sizes;
    for (const fs::path& file : files)
        sizes.push_back(fs::is_regular_file(file) ? std::int64_t(fs::file_size(file)) : 0);
    std::vector<std::pair<fs::path, Snapshot>> sources;
    for (const fs::path& file : {truncated, good, bomb, lockedAway})
        sources.emplace_back(file, snapshot(file));
    const auto entriesBefore = namesIn(directory.path());

    auto outcomes = BatchRunner::run(
        files, {.format = ImageFormat::webp, .sizing = FrameSizing::untouched(), .quality = 0.5}, {}, {});
    close(descriptor);

    ASSERT_EQ(outcomes.size(), files.size());
    for (std::size_t index = 0; index < files.size(); ++index) {
        const JobOutcome& outcome = outcomes[index];
        SCOPED_TRACE(files[index].string());
        EXPECT_EQ(outcome.source, files[index]);
        EXPECT_EQ(outcome.originalBytes, sizes[index]);
        if (files[index] == good) {
            EXPECT_TRUE(outcome.succeeded());
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
    for (const auto& [file, before] : sources) {
        SCOPED_TRACE(file.string());
        EXPECT_EQ(snapshot(file), before);
    }
    auto expectedEntries = entriesBefore;
    expectedEntries.push_back("good-converted.webp");
    std::ranges::sort(expectedEntries);
    EXPECT_EQ(namesIn(directory.path()), expectedEntries);
}

} // namespace
} // namespace quillmorph
