#include "engines/batch/BatchRunner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using BatchRunner::Files;

JobOutcome succeeded(const fs::path& file) {
    return {.source = file,
            .output = fs::path(file).replace_extension("webp"),
            .originalBytes = 10,
            .outputBytes = 5};
}

TEST(BatchRunner, WidthIsBoundedByProcessorsFilesAndFourAndAnEmptyBatchRunsNothing) {
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(BatchRunner::width(0), 0u);
    EXPECT_EQ(BatchRunner::width(1), 1u);
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
            files.push_back("/nowhere/file-" + std::to_string(index) + ".jpg");
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

} // namespace
} // namespace quillmorph
