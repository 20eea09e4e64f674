#include "VideoBatch.h"

#include "VideoEngines.h"
#include "engines/output/FileNaming.h"
#include "engines/output/OutputFile.h"

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view suffix = "-converted";

} // namespace

VideoBatch::VideoBatch() : VideoBatch(VideoEngines::make, VideoEngines::probe) {}

VideoBatch::VideoBatch(MakeEngine makeEngine, Probe probe)
    : m_makeEngine(std::move(makeEngine)), m_probe(std::move(probe)) {}

std::vector<JobOutcome> VideoBatch::run(const std::vector<fs::path>& files, const VideoSettings& settings,
                                        const Progress& progress, const Executor& executor) {
    std::vector<JobOutcome> outcomes;
    const std::size_t total = files.size();
    for (std::size_t index = 0; index < total && !wasStopped(); ++index) {
        const fs::path& file = files[index];
        std::string label = file.filename().string();
        executor([progress, index, total, label] { progress(index, total, std::nullopt, label); });
        auto fileProgress = [progress, index, total, label](double fraction) {
            progress(index, total, fraction, label);
        };

        std::int64_t originalBytes = FileNaming::byteCount(file);
        auto converted = convert(file, settings, fileProgress, executor);
        if (converted) {
            outcomes.push_back({.source = file,
                                .output = *converted,
                                .originalBytes = originalBytes,
                                .outputBytes = FileNaming::byteCount(*converted),
                                .error = std::nullopt});
            continue;
        }
        outcomes.push_back({.source = file,
                            .output = std::nullopt,
                            .originalBytes = originalBytes,
                            .outputBytes = 0,
                            .error = describe(converted.error())});
        if (converted.error().kind == VideoEngineError::Kind::cancelled)
            break;
    }
    return outcomes;
}

tl::expected<fs::path, VideoEngineError> VideoBatch::convert(const fs::path& file,
                                                             const VideoSettings& settings,
                                                             const VideoEncoding::Progress& progress,
                                                             const Executor& executor) {
    auto info = m_probe(file);
    if (!info)
        return tl::unexpected(info.error());
    std::string_view extension = toString(settings.container);
    fs::path destination = FileNaming::destination(file, suffix, extension);
    // The engine fills a hidden file we created beside the destination (so that nothing planted
    // there meanwhile is written through); only a finished encode turns it into the output, and on
    // failure or cancellation it goes.
    auto output = OutputFile::make(destination);
    if (!output)
        return tl::unexpected(VideoEngineError::encodeFailed(file, destination.parent_path().string() + ": " +
                                                                       output.error().message()));

    std::shared_ptr<VideoEncoding> engine = m_makeEngine();
    bool stopped = false;
    {
        std::lock_guard lock(m_mutex);
        m_running = engine;
        stopped = m_stopRequested;
    }
    if (stopped)
        engine->cancel();
    auto encoded = engine->encode(file, output->temporaryPath(), *info, settings, progress, executor);
    {
        std::lock_guard lock(m_mutex);
        m_running.reset();
    }
    if (!encoded)
        return tl::unexpected(encoded.error());
    auto landed = output->commit(suffix, extension);
    if (!landed)
        return tl::unexpected(
            VideoEngineError::encodeFailed(file, destination.string() + ": " + landed.error().message()));
    return *landed;
}

void VideoBatch::stop() {
    std::shared_ptr<VideoEncoding> running;
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
        running = m_running;
    }
    if (running)
        running->cancel();
}

bool VideoBatch::wasStopped() const {
    std::lock_guard lock(m_mutex);
    return m_stopRequested;
}

} // namespace quillmorph
