// The video command: compress videos one at a time as the video panel would, or estimate the result.
#include "BatchPrinting.h"
#include "Commands.h"
#include "OptionScanner.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/output/FileNaming.h"
#include "engines/video/FFmpegTool.h"
#include "engines/video/NativeVideoEngine.h"
#include "engines/video/VideoBatch.h"
#include "engines/video/VideoEncoder.h"
#include "engines/video/VideoEngines.h"
#include "engines/video/VideoEstimate.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace quillmorph::cli {
namespace {

constexpr std::string_view usage =
    "usage: quillmorph-cli video [--preset ID] [--container mp4|webm] [--codec h264|hevc] [--bitrate KBPS]\n"
    "                            [--fit WxH | --exact WxH] [--fps N] [--no-audio] [--audio-bitrate KBPS]\n"
    "                            [--engine ffmpeg|native] [--estimate] [--json] FILE...\n";

enum class Engine { automatic, ffmpeg, native };

struct VideoOptions {
    std::optional<VideoPreset> preset;
    std::optional<VideoContainer> container;
    std::optional<VideoCodec> codec;
    std::optional<std::int64_t> videoBitrate;
    std::optional<FrameSizing> sizing;
    std::optional<double> frameRateCap;
    bool noAudio = false;
    std::optional<std::int64_t> audioBitrate;
    Engine engine = Engine::automatic;
    bool estimate = false;
    OutcomeStyle style = OutcomeStyle::lines;
    std::vector<std::string_view> files;

    // The defaults, then the preset, then every other option, whatever their order.
    [[nodiscard]] VideoSettings settings() const {
        VideoSettings settings = preset ? VideoEstimate::applying(*preset, {}) : VideoSettings{};
        settings.container = container.value_or(settings.container);
        settings.codec = codec.value_or(settings.codec);
        settings.videoBitrate = videoBitrate.value_or(settings.videoBitrate);
        settings.sizing = sizing.value_or(settings.sizing);
        settings.frameRateCap = frameRateCap ? frameRateCap : settings.frameRateCap;
        settings.includeAudio = !noAudio;
        settings.audioBitrate = audioBitrate.value_or(settings.audioBitrate);
        return settings;
    }
};

std::optional<VideoPreset> presetNamed(std::string_view id) {
    for (VideoPreset& row : VideoPreset::all()) {
        if (row.id == id)
            return std::move(row);
    }
    return std::nullopt;
}

std::optional<Engine> engineNamed(std::string_view name) {
    if (name == "ffmpeg")
        return Engine::ffmpeg;
    if (name == "native")
        return Engine::native;
    return std::nullopt;
}

// Nothing for a usage error.
std::optional<VideoOptions> parse(Arguments arguments) {
    VideoOptions options;
    const auto box = [&](FrameSizing::Kind kind) {
        return [&, kind](std::string_view value) {
            return !options.sizing && storing(options.sizing, [kind](std::string_view text) {
                return parseBox(text, kind);
            })(value);
        };
    };
    auto files = OptionScanner()
                     .flag("--estimate", [&] { options.estimate = true; })
                     .flag("--json", [&] { options.style = OutcomeStyle::json; })
                     .flag("--no-audio", [&] { options.noAudio = true; })
                     .option("--preset", storing(options.preset, presetNamed))
                     .option("--container", storing(options.container, fromString<VideoContainer>))
                     .option("--codec", storing(options.codec, fromString<VideoCodec>))
                     .option("--bitrate", storing(options.videoBitrate, parsePositive<std::int64_t>))
                     .option("--audio-bitrate", storing(options.audioBitrate, parsePositive<std::int64_t>))
                     .option("--fit", box(FrameSizing::Kind::fit))
                     .option("--exact", box(FrameSizing::Kind::exact))
                     .option("--fps", storing(options.frameRateCap, parsePositive<double>))
                     .option("--engine", storing(options.engine, engineNamed))
                     .scan(arguments);
    if (!files)
        return std::nullopt;
    options.files = std::move(*files);
    return options;
}

VideoBatch makeBatch(Engine engine) {
    switch (engine) {
    case Engine::automatic:
        return VideoBatch();
    case Engine::ffmpeg:
        return VideoBatch([] { return std::make_unique<VideoEncoder>(); }, FFmpegTool::probe);
    case Engine::native:
        return VideoBatch([] { return std::make_unique<NativeVideoEngine>(); }, NativeVideoEngine::probe);
    }
    return VideoBatch();
}

tl::expected<VideoInfo, VideoEngineError> probe(const std::filesystem::path& file, Engine engine) {
    switch (engine) {
    case Engine::automatic:
        return VideoEngines::probe(file);
    case Engine::ffmpeg:
        return FFmpegTool::probe(file);
    case Engine::native:
        return NativeVideoEngine::probe(file);
    }
    return VideoEngines::probe(file);
}

// What the chosen engine would refuse for want of ffmpeg.
std::optional<VideoEngineError::Missing> blocked(const VideoSettings& settings, const VideoInfo& info,
                                                 Engine engine) {
    switch (engine) {
    case Engine::automatic:
        return VideoEngines::blocked(settings, info);
    case Engine::ffmpeg:
        return std::nullopt;
    case Engine::native:
        if (settings.container == VideoContainer::webm)
            return VideoEngineError::Missing::container;
        if (info.isHDR)
            return VideoEngineError::Missing::hdr;
        return std::nullopt;
    }
    return std::nullopt;
}

// The video panel's estimate: the first file's probe standing for every file.
int printEstimate(const BatchRunner::Files& files, const VideoSettings& settings, Engine engine,
                  OutcomeStyle style) {
    auto info = probe(files.front(), engine);
    if (!info) {
        std::cerr << "quillmorph-cli video: " << describe(info.error()) << '\n';
        return exitFailure;
    }
    std::int64_t originalBytes = 0;
    for (const auto& file : files)
        originalBytes += FileNaming::byteCount(file);
    const std::int64_t estimatedBytes = VideoEstimate::estimatedBytes(settings, *info, files.size());
    std::optional<std::string> notice;
    if (auto missing = blocked(settings, *info, engine))
        notice = describe(VideoEngineError::needsFFmpeg(*missing));
    if (style == OutcomeStyle::json) {
        std::cout << nlohmann::json{{"originalBytes", originalBytes},
                                    {"estimatedBytes", estimatedBytes},
                                    {"needsFFmpeg", notice ? nlohmann::json(*notice) : nlohmann::json()}}
                         .dump(2)
                  << '\n';
        return exitSuccess;
    }
    std::cout << VideoEstimate::title(files) << '\n'
              << VideoEstimate::subtitle(*info, originalBytes) << '\n'
              << VideoEstimate::destinationLine(files, settings.container) << '\n'
              << formatByteCount(originalBytes) << " \u2192 " << formatByteCount(estimatedBytes) << " ("
              << estimatedBytes << " bytes)\n";
    if (notice)
        std::cout << *notice << '\n';
    return exitSuccess;
}

// Ctrl-C, a hang-up or a termination request stops the batch the way the progress window's cancel
// button does, so that the running file's partial output goes. The signals are taken by a thread
// of their own: nothing else may run in a signal handler.
class StopOnSignal {
  public:
    explicit StopOnSignal(VideoBatch& batch) {
        sigemptyset(&m_signals);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&m_signals, signal);
        // Blocked before any other thread exists, so that every later thread inherits the mask.
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
        m_watcher = std::thread([this, &batch] {
            timespec tick{0, 100'000'000};
            while (!m_finished) {
                if (sigtimedwait(&m_signals, nullptr, &tick) > 0)
                    batch.stop();
            }
        });
    }
    ~StopOnSignal() {
        m_finished = true;
        m_watcher.join();
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

  private:
    sigset_t m_signals;
    sigset_t m_previous;
    std::atomic<bool> m_finished = false;
    std::thread m_watcher;
};

// A line redrawn on stderr while stderr is a terminal: files done, the current one and its share.
VideoBatch::Progress terminalLine() {
    if (!isatty(STDERR_FILENO))
        return [](std::size_t, std::size_t, std::optional<double>, const std::string&) {
        };
    return [](std::size_t done, std::size_t total, std::optional<double> fraction, const std::string& label) {
        std::cerr << "\r\033[K" << done + 1 << '/' << total << ' ' << label;
        if (fraction)
            std::cerr << ' ' << int(*fraction * 100) << '%';
        std::cerr << std::flush;
    };
}

} // namespace

int videoCommand(Arguments arguments) {
    const std::optional<VideoOptions> options = parse(arguments);
    if (!options) {
        std::cerr << usage;
        return exitUsage;
    }
    const BatchRunner::Files files = absoluteFiles(options->files);
    const VideoSettings settings = options->settings();
    if (options->estimate)
        return printEstimate(files, settings, options->engine, options->style);

    VideoBatch batch = makeBatch(options->engine);
    std::vector<JobOutcome> outcomes;
    {
        StopOnSignal stopOnSignal(batch);
        // Reports come from the engines' threads; one at a time on the terminal.
        std::mutex terminal;
        outcomes = batch.run(files, settings, terminalLine(), [&terminal](std::function<void()> report) {
            std::lock_guard lock(terminal);
            report();
        });
    }
    if (isatty(STDERR_FILENO))
        std::cerr << "\r\033[K" << std::flush;
    if (batch.wasStopped()) {
        if (options->style == OutcomeStyle::json)
            printOutcomes(outcomes, Localization::string(Phrase::notifyVideosVerb), Phrase::notifyImagesCount,
                          options->style);
        else
            std::cout << Localization::string(Phrase::notifyVideoCancelled) << '\n';
        return exitFailure;
    }
    return printOutcomes(outcomes, Localization::string(Phrase::notifyVideosVerb), Phrase::notifyImagesCount,
                         options->style);
}

} // namespace quillmorph::cli
