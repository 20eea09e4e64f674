#include "VideoEncoder.h"

#include "FFmpegTool.h"
#include "PassLogFolder.h"
#include "common/UTF8.h"
#include "engines/process/LineBuffer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view timeKey = "out_time_us=";
constexpr std::string_view frameKey = "frame=";

// ffmpeg names its statistics after the prefix with more after it ("-0.log", "-0.log.mbtree"), so
// everything in the run's folder that starts with the prefix's name goes.
void removePassLogs(const fs::path& prefix) {
    std::error_code error;
    std::string name = prefix.filename().string();
    std::vector<fs::path> found;
    for (fs::directory_iterator entry(prefix.parent_path(), error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().filename().string().starts_with(name))
            found.push_back(entry->path());
    }
    for (const fs::path& file : found)
        fs::remove(file, error);
}

void removeQuietly(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

} // namespace

std::optional<double> VideoEncoder::passFraction(std::string_view line, double duration, double frameRate) {
    double perUnit = 0; // the pass's fraction per unit the line counts
    if (line.starts_with(timeKey)) {
        line.remove_prefix(timeKey.size());
        perUnit = 1.0 / 1'000'000 / std::max(duration, 0.001);
    } else if (line.starts_with(frameKey)) {
        line.remove_prefix(frameKey.size());
        perUnit = 1.0 / std::max(duration * frameRate, 1.0);
    } else {
        return std::nullopt;
    }
    double count = 0;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), count);
    if (error != std::errc() || end != line.data() + line.size() || !(count >= 0) || std::isinf(count))
        return std::nullopt;
    return std::min(count * perUnit, 1.0);
}

tl::expected<void, VideoEngineError>
VideoEncoder::encode(const fs::path& input, const fs::path& output, const VideoInfo& info,
                     const VideoSettings& settings, const Progress& progress, const Executor& executor) {
    std::optional<fs::path> ffmpeg = FFmpegTool::path(FFmpegTool::ffmpeg);
    if (!ffmpeg)
        return tl::unexpected(VideoEngineError::toolMissing());

    std::optional<fs::path> passLog;
    if (settings.container == VideoContainer::webm) {
        auto prefix = PassLogFolder::freshPrefix();
        if (!prefix)
            return tl::unexpected(VideoEngineError::encodeFailed(input, prefix.error()));
        passLog = *prefix;
    }
    struct Pass {
        std::optional<int> number;
        Slice slice;
    };
    std::vector<Pass> passes;
    if (settings.container == VideoContainer::webm)
        passes = {{1, {0, 0.35}}, {2, {0.35, 1}}};
    else
        passes = {{std::nullopt, {0, 1}}};

    tl::expected<void, VideoEngineError> result;
    for (const Pass& pass : passes) {
        result = run(*ffmpeg, settings.arguments(input, output, info, pass.number, passLog), input, output,
                     info.duration, settings.targetFrameRate(info), pass.slice, progress, executor);
        if (!result)
            break;
    }
    if (passLog)
        removePassLogs(*passLog);
    return result;
}

tl::expected<void, VideoEngineError> VideoEncoder::run(const fs::path& ffmpeg,
                                                       std::vector<std::string> arguments,
                                                       const fs::path& input, const fs::path& output,
                                                       double duration, double frameRate, Slice slice,
                                                       const Progress& progress, const Executor& executor) {
    auto report = [&progress, &executor, slice](double fraction) {
        double overall = slice.start + fraction * (slice.end - slice.start);
        executor([progress, overall] { progress(overall); });
    };
    // Frames and time both count; the bar follows whichever is further and never goes back.
    double reached = 0;
    // Written by the error stream's reader only; read after wait() has joined it.
    std::string lastErrorLine;

    {
        std::lock_guard lock(m_mutex);
        if (m_wasCancelled)
            return tl::unexpected(VideoEngineError::cancelled());
    }
    auto started = ChildProcess::start({
        .program = ffmpeg,
        .arguments = std::move(arguments),
        .onOutput = byLine([&report, &reached, duration, frameRate](std::string_view line) {
            if (auto fraction = passFraction(line, duration, frameRate); fraction && *fraction > reached)
                report(reached = *fraction);
        }),
        .onError = byLine([&lastErrorLine](std::string_view line) {
            if (!line.empty())
                lastErrorLine = line;
        }),
    });
    if (!started)
        return tl::unexpected(
            VideoEngineError::launchFailed(ffmpeg.string() + ": " + started.error().message()));
    auto child = std::make_shared<ChildProcess>(std::move(*started));
    bool cancelledWhileStarting = false;
    {
        std::lock_guard lock(m_mutex);
        m_current = child;
        cancelledWhileStarting = m_wasCancelled;
    }
    if (cancelledWhileStarting)
        child->terminate();

    ChildProcess::Exit exit = child->wait();
    bool cancelled = false;
    {
        std::lock_guard lock(m_mutex);
        cancelled = m_wasCancelled;
        m_current.reset();
    }
    if (cancelled) {
        removeQuietly(output);
        return tl::unexpected(VideoEngineError::cancelled());
    }
    if (!exit.succeeded()) {
        removeQuietly(output);
        // The text ends up in notifications, which carry UTF-8 only.
        return tl::unexpected(
            VideoEngineError::encodeFailed(input, isValidUTF8(lastErrorLine) ? lastErrorLine : ""));
    }
    report(1.0);
    return {};
}

void VideoEncoder::cancel() {
    std::shared_ptr<ChildProcess> current;
    {
        std::lock_guard lock(m_mutex);
        m_wasCancelled = true;
        current = m_current;
    }
    if (current)
        current->terminate();
}

} // namespace quillmorph
