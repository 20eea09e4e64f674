#include "common/Localization.h"
#include "engines/batch/BatchReport.h"
#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using BatchRunner::Files;
using testing::namesIn;
using testing::TemporaryDirectory;

JobOutcome success(const std::string& name, std::int64_t before, std::int64_t after) {
    return {.source = "/photos/" + name + ".jpg",
            .output = "/photos/" + name + "-converted.webp",
            .originalBytes = before,
            .outputBytes = after};
}

JobOutcome failure(const std::string& name, std::int64_t before, std::string error) {
    return {.source = "/photos/" + name + ".jpg", .originalBytes = before, .error = std::move(error)};
}

TEST(BatchReport, SummarisesTheBatch) {
    Localization::setLanguage("en");
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    const std::vector<std::tuple<std::string, std::vector<JobOutcome>, BatchSummary>> rows = {
        {"one file shrinking by three quarters",
         {success("photo", 2'000'000, 500'000)},
         {"Converted: photo-converted.webp", "2 MB \u2192 500 KB  \u00B7  \u221275%"}},
        {"half a percent rounds away from zero",
         {success("a", 1000, 995)},
         {"Converted: a-converted.webp", "1 KB \u2192 995 bytes  \u00B7  \u22121%"}},
        {"three files, one failing",
         {success("a", 3'000'000, 1'000'000), failure("b", 700, "Could not read “b.jpg” as an image."),
          success("c", 1'000'000, 1'000'000)},
         {"Converted: 2 files", "4 MB \u2192 2 MB  \u00B7  \u221250%  \u00B7  1 failed"}},
        {"a success without an output keeps the title's colon",
         {{.source = "/photos/a.jpg", .originalBytes = 10, .outputBytes = 10}},
         {"Converted: ", "10 bytes \u2192 10 bytes"}},
        {"all failing",
         {failure("a", 10, "first error"), failure("b", 20, "second error")},
         {"Processing failed", "first error"}},
        {"empty", {}, {"Processing failed", "No files were processed."}},
        {"sums beyond 64 bits saturate and show no percentage",
         {success("a", largest, 1), success("b", largest, 1)},
         {"Converted: 2 files", "9223.37 PB \u2192 2 bytes"}},
    };
    for (const auto& [name, outcomes, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(BatchReport::summarize(outcomes, "Converted", Phrase::notifyImagesCount), expected);
    }
    const std::vector<JobOutcome> three{success("a", 100, 50), success("b", 100, 50), success("c", 100, 50)};
    EXPECT_EQ(BatchReport::summarize(three, "Extracted", Phrase::audioCount),
              (BatchSummary{"Extracted: 3 audio files", "300 bytes \u2192 150 bytes  \u00B7  \u221250%"}));
}

JobOutcome succeeded(const fs::path& file) {
    return success(file.stem().string(), 10, 5);
}

TEST(BatchRunner, WidthIsBoundedByProcessorsFilesAndFourAndAnEmptyBatchRunsNothing) {
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(BatchRunner::width(0), 0u);
    EXPECT_EQ(BatchRunner::width(2), std::min<std::size_t>(processors, 2));
    EXPECT_EQ(BatchRunner::width(1000), std::min<std::size_t>(processors, 4));
    EXPECT_TRUE(
        BatchRunner::runParallel({}, succeeded, [](std::size_t, std::size_t) { FAIL(); }, {}).empty());
}

// The first file waits for the second, so a later file finishes first; two files throw. Progress
// runs inline, or wherever the executor posts it; either way one call at a time, in order.
TEST(BatchRunner, RunsWidthJobsAtOnceKeepingInputOrderAndEachFailureToItsFile) {
    for (const bool posted : {false, true}) {
        SCOPED_TRACE(posted ? "posted progress" : "inline progress");
        Files files;
        for (int index = 0; index < 12; ++index)
            files.push_back("/photos/file-" + std::to_string(index) + ".jpg");
        std::mutex mutex;
        std::condition_variable secondFinished;
        bool secondDone = BatchRunner::width(2) < 2; // one processor: jobs never overlap
        std::atomic<int> running = 0;
        std::atomic<int> mostRunning = 0;
        std::vector<std::pair<std::size_t, std::size_t>> progress;
        std::vector<std::function<void()>> queue;
        std::atomic<bool> reporting = false;
        bool overlapped = false;
        const auto outcomes = BatchRunner::runParallel(
            files,
            [&](const fs::path& file) -> JobOutcome {
                const int now = ++running;
                for (int seen = mostRunning; now > seen && !mostRunning.compare_exchange_weak(seen, now);) {
                }
                {
                    std::unique_lock lock(mutex);
                    if (file == files[0])
                        secondFinished.wait(lock, [&] { return secondDone; });
                    secondDone |= file == files[1];
                    secondFinished.notify_all();
                }
                --running;
                if (file == files[3])
                    throw std::runtime_error("decoder exploded");
                if (file == files[4])
                    throw 42;
                return succeeded(file);
            },
            [&](std::size_t done, std::size_t total) {
                overlapped |= reporting.exchange(true);
                progress.emplace_back(done, total);
                reporting = false;
            },
            posted
                ? BatchRunner::Executor([&](std::function<void()> work) { queue.push_back(std::move(work)); })
                : BatchRunner::Executor());
        EXPECT_EQ(progress.empty(), posted) << "posted progress ran on a worker thread";
        for (const auto& work : queue)
            work();
        EXPECT_LE(std::size_t(mostRunning.load()), BatchRunner::width(files.size()));
        EXPECT_FALSE(overlapped);
        ASSERT_EQ(outcomes.size(), files.size());
        ASSERT_EQ(progress.size(), files.size());
        for (std::size_t index = 0; index < files.size(); ++index) {
            EXPECT_EQ(progress[index], std::make_pair(index + 1, files.size()));
            if (index == 3)
                EXPECT_EQ(outcomes[index], (JobOutcome{.source = files[3], .error = "decoder exploded"}));
            else if (index == 4)
                EXPECT_TRUE(outcomes[index].error && outcomes[index].source == files[4] &&
                            !outcomes[index].output);
            else
                EXPECT_EQ(outcomes[index], succeeded(files[index]));
        }
    }
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
    // Bytes and modification time: what "untouched" means for a source.
    const auto snapshot = [&] {
        std::vector<std::pair<std::string, fs::file_time_type>> sources;
        for (const fs::path& file : {truncated, good, unwritable})
            sources.emplace_back(testing::readFile(file), fs::last_write_time(file));
        return sources;
    };
    const auto before = snapshot();

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
    EXPECT_EQ(snapshot(), before);
    close(descriptor);
    EXPECT_EQ(namesIn(directory.path()),
              (std::vector<std::string>{"fifo.png", "good-converted.webp", "good.jpg", "locked-away.jpg",
                                        "truncated.jpg"}));
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
        EXPECT_EQ(outcome.outputBytes, std::int64_t(fs::file_size(*outcome.output)));
    }
    const JobOutcome again = BatchRunner::process(
        directory / "889x750.jpg", {.format = ImageFormat::jpg, .sizing = rows[0].second, .quality = 0.5});
    EXPECT_EQ(again.output, directory / "889x750-converted-1.jpg");
    EXPECT_EQ(testing::readFile(*again.output), testing::readFile(directory / "889x750-converted.jpg"));
}

} // namespace
} // namespace quillmorph
