#include "BatchRunner.h"

#include "engines/output/FileNaming.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace quillmorph::BatchRunner {
namespace {

constexpr std::size_t maximumWidth = 4;

// The one place where anything a job throws becomes that file's failure.
JobOutcome runGuarded(const Job& job, const std::filesystem::path& file) {
    std::string error;
    try {
        return job(file);
    } catch (const std::exception& exception) {
        error = exception.what();
    } catch (...) {
        error = "unexpected failure";
    }
    return {.source = file, .originalBytes = FileNaming::byteCount(file), .error = std::move(error)};
}

} // namespace

std::size_t width(std::size_t files) {
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    return std::min({processors, files, maximumWidth});
}

std::vector<JobOutcome> runParallel(const Files& files, const Job& job, const Progress& progress,
                                    const Executor& executor) {
    std::vector<JobOutcome> outcomes(files.size());
    std::atomic<std::size_t> next = 0;
    std::mutex reporting;
    std::size_t done = 0;

    const auto report = [&] {
        // Held while handing over, so that inline progress calls never overlap and `done` arrives
        // in order wherever the executor runs it.
        std::lock_guard lock(reporting);
        ++done;
        if (!progress)
            return;
        if (executor)
            executor([progress, done, total = files.size()] { progress(done, total); });
        else
            progress(done, files.size());
    };
    const auto work = [&] {
        for (std::size_t index; (index = next++) < files.size();) {
            outcomes[index] = runGuarded(job, files[index]);
            report();
        }
    };

    {
        std::vector<std::jthread> workers;
        for (std::size_t count = width(files.size()); workers.size() < count;) {
            try {
                workers.emplace_back(work);
            } catch (const std::system_error&) {
                break; // out of threads: the ones running take the rest
            }
        }
        if (workers.empty())
            work();
    } // every worker joined before the outcomes leave
    return outcomes;
}

} // namespace quillmorph::BatchRunner
