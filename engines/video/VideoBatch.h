#pragma once

#include "VideoEncoding.h"
#include "engines/batch/JobOutcome.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph {

// A video batch: one file at a time, each probed, encoded by a fresh engine into a temporary file
// beside its source and moved to the "-converted" name (.mp4 or .webm) only when it is complete.
// A failing file goes into its outcome and the next one starts; a cancelled one ends the batch.
// One object serves one batch; stop() may come from any thread.
class VideoBatch {
  public:
    // done files, total, the current file's fraction (none until its engine reports), its name.
    using Progress = std::function<void(std::size_t done, std::size_t total, std::optional<double> fraction,
                                        const std::string& label)>;
    using MakeEngine = std::function<std::unique_ptr<VideoEncoding>()>;
    using Probe = std::function<tl::expected<VideoInfo, VideoEngineError>(const std::filesystem::path&)>;

    // By default the engine and the probe are chosen per file by VideoEngines.
    VideoBatch();
    VideoBatch(MakeEngine makeEngine, Probe probe);

    // Blocks until the batch ends. One outcome per file reached, in order; every progress report
    // goes through the executor.
    [[nodiscard]] std::vector<JobOutcome> run(const std::vector<std::filesystem::path>& files,
                                              const VideoSettings& settings, const Progress& progress,
                                              const Executor& executor);

    // No further file starts, and the running one is cancelled (its partial output removed).
    void stop();
    // Whether stop() was called: the batch then ends with the cancellation notice, not a summary.
    [[nodiscard]] bool wasStopped() const;

  private:
    [[nodiscard]] tl::expected<std::filesystem::path, VideoEngineError>
    convert(const std::filesystem::path& file, const VideoSettings& settings,
            const VideoEncoding::Progress& progress, const Executor& executor);

    MakeEngine m_makeEngine;
    Probe m_probe;
    mutable std::mutex m_mutex; // guards the two below, never held while calling an engine
    bool m_stopRequested = false;
    std::shared_ptr<VideoEncoding> m_running;
};

} // namespace quillmorph
