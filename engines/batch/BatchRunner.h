#pragma once

#include "JobOutcome.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <vector>

namespace quillmorph {
struct ImageSettings;
struct PDFSettings;
struct AudioSettings;
enum class AudioOrigin;
}

namespace quillmorph::BatchRunner {

using Files = std::vector<std::filesystem::path>;
// progress(done, total) after each finished file.
using Progress = std::function<void(std::size_t done, std::size_t total)>;
// Where progress runs: the application posts to its main thread; an empty executor (the command
// line) runs it inline. Either way the calls come one at a time, with done = 1, 2, ..., n.
using Executor = std::function<void(std::function<void()>)>;
using Job = std::function<JobOutcome(const std::filesystem::path&)>;

// How many jobs run at once: min(processors, files, 4).
[[nodiscard]] std::size_t width(std::size_t files);

// Runs `job` over `files`, width(files) at a time, and blocks until all are done: call it off the
// thread the executor posts to. One outcome per file, in input order whatever order they finished
// in; whatever a job throws becomes that file's failure. Nothing cancels a started batch.
[[nodiscard]] std::vector<JobOutcome> runParallel(const Files& files, const Job& job,
                                                  const Progress& progress, const Executor& executor);

// Images: decode, resize, encode, write beside the source as "-converted". Never throws.
[[nodiscard]] JobOutcome process(const std::filesystem::path& file, const ImageSettings& settings);
[[nodiscard]] std::vector<JobOutcome> run(const Files& files, const ImageSettings& settings,
                                          const Progress& progress, const Executor& executor);

// PDFs: every page re-rendered as a picture, written beside the source as "-compressed". Never throws.
[[nodiscard]] JobOutcome processPDF(const std::filesystem::path& file, const PDFSettings& settings);
[[nodiscard]] std::vector<JobOutcome> runPDF(const Files& files, const PDFSettings& settings,
                                             const Progress& progress, const Executor& executor);

// Audio: probed, then converted by ffmpeg beside the source as "-converted" with the format's
// extension; from videos, only their audio. Never throws.
[[nodiscard]] JobOutcome processAudio(const std::filesystem::path& file, const AudioSettings& settings,
                                      AudioOrigin origin);
[[nodiscard]] std::vector<JobOutcome> runAudio(const Files& files, const AudioSettings& settings,
                                               AudioOrigin origin, const Progress& progress,
                                               const Executor& executor);

} // namespace quillmorph::BatchRunner
