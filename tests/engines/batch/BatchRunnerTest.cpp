#include "engines/batch/BatchRunner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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

Files numberedFiles(std::size_t count) {
    Files files;
    for (std::size_t index = 0; index < count; ++index)
        files.push_back("/nowhere/file-" + std::to_string(index) + ".jpg");
    return files;
}

JobOutcome succeeded(const fs::path& file) {
    return {.source = file,
            .output = fs::path(file).replace_extension("webp"),
            .originalBytes = 10,
            .outputBytes = 5};
}

TEST(BatchRunner, WidthIsBoundedByProcessorsFilesAndFourAndAnEmptyBatchRunsNothing) {
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(BatchRunner::width(0), 0u);
    bool called = false;
    EXPECT_TRUE(BatchRunner::runParallel(
                    {}, [&](const fs::path& file) { return called = true, succeeded(file); },
                    [&](std::size_t, std::size_t) { called = true; }, {})
                    .empty());
    EXPECT_FALSE(called) << "an empty batch runs nothing";
    EXPECT_EQ(BatchRunner::width(1), 1u);
    EXPECT_EQ(BatchRunner::width(2), std::min<std::size_t>(processors, 2));
    EXPECT_EQ(BatchRunner::width(10), std::min<std::size_t>(processors, 4));
    EXPECT_EQ(BatchRunner::width(1000), std::min<std::size_t>(processors, 4));
}

TEST(BatchRunner, OutcomesKeepInputOrderWhenALaterFileFinishesFirst) {
    if (BatchRunner::width(2) < 2)
        GTEST_SKIP() << "one processor: jobs never overlap";
    const Files files = numberedFiles(6);
    std::mutex mutex;
    std::condition_variable secondFinished;
    bool secondDone = false;
    std::vector<fs::path> finishingOrder;

    auto outcomes = BatchRunner::runParallel(files,
                                             [&](const fs::path& file) {
                                                 std::unique_lock lock(mutex);
                                                 // The first file waits for the second, which runs beside it.
                                                 if (file == files[0])
                                                     secondFinished.wait(lock, [&] { return secondDone; });
                                                 if (file == files[1]) {
                                                     secondDone = true;
                                                     secondFinished.notify_all();
                                                 }
                                                 finishingOrder.push_back(file);
                                                 return succeeded(file);
                                             },
                                             {}, {});

    ASSERT_EQ(outcomes.size(), files.size());
    for (std::size_t index = 0; index < files.size(); ++index)
        EXPECT_EQ(outcomes[index], succeeded(files[index]));
    EXPECT_LT(std::ranges::find(finishingOrder, files[1]), std::ranges::find(finishingOrder, files[0]));
}

TEST(BatchRunner, RunsAtMostWidthJobsAtOnce) {
    const Files files = numberedFiles(12);
    std::atomic<int> running = 0;
    std::atomic<int> mostRunning = 0;
    auto outcomes = BatchRunner::runParallel(
        files,
        [&](const fs::path& file) {
            const int now = ++running;
            for (int seen = mostRunning; now > seen && !mostRunning.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            --running;
            return succeeded(file);
        },
        {}, {});
    EXPECT_EQ(outcomes.size(), files.size());
    EXPECT_GE(mostRunning, 1);
    EXPECT_LE(std::size_t(mostRunning.load()), BatchRunner::width(files.size()));
}

TEST(BatchRunner, ReportsProgressOncePerFileInOrderAndNeverConcurrently) {
    const Files files = numberedFiles(9);
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    std::atomic<bool> inside = false;
    bool overlapped = false;
    auto outcomes = BatchRunner::runParallel(
        files, [](const fs::path& file) { return succeeded(file); },
        [&](std::size_t done, std::size_t total) {
            overlapped |= inside.exchange(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            calls.emplace_back(done, total);
            inside = false;
        },
        {});
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(calls.size(), files.size());
    for (std::size_t index = 0; index < calls.size(); ++index)
        EXPECT_EQ(calls[index], std::make_pair(index + 1, files.size()));
}

TEST(BatchRunner, HandsProgressToTheExecutor) {
    const Files files = numberedFiles(5);
    std::mutex mutex;
    std::vector<std::function<void()>> posted;
    std::vector<std::size_t> done;
    auto outcomes = BatchRunner::runParallel(
        files, [](const fs::path& file) { return succeeded(file); },
        [&](std::size_t count, std::size_t) { done.push_back(count); },
        [&](std::function<void()> work) {
            std::lock_guard lock(mutex);
            posted.push_back(std::move(work));
        });
    EXPECT_TRUE(done.empty()) << "progress ran on a worker thread";
    for (auto& work : posted)
        work();
    EXPECT_EQ(done, (std::vector<std::size_t>{1, 2, 3, 4, 5}));
}

TEST(BatchRunner, AThrowingJobFailsOnlyItsOwnFile) {
    const Files files = numberedFiles(4);
    auto outcomes = BatchRunner::runParallel(files,
                                             [&](const fs::path& file) -> JobOutcome {
                                                 if (file == files[1])
                                                     throw std::runtime_error("decoder exploded");
                                                 if (file == files[2])
                                                     throw 42;
                                                 return succeeded(file);
                                             },
                                             {}, {});
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_TRUE(outcomes[0].succeeded());
    EXPECT_EQ(outcomes[1], (JobOutcome{.source = files[1], .error = "decoder exploded"}));
    EXPECT_EQ(outcomes[2].source, files[2]);
    EXPECT_FALSE(outcomes[2].output);
    EXPECT_FALSE(outcomes[2].succeeded());
    EXPECT_TRUE(outcomes[3].succeeded());
}

} // namespace
} // namespace quillmorph
