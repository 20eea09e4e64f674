#pragma once

#include "VideoEncoding.h"
#include "engines/process/ChildProcess.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace quillmorph {

// The video engine whenever ffmpeg is available: runs the ffmpeg program once per pass (MP4 one,
// WebM two) and turns its progress records into fractions. Fails with toolMissing, launchFailed,
// encodeFailed (carrying ffmpeg's last non-empty error line) or cancelled. The two-pass
// statistics live under a fresh prefix in the run's PassLogFolder and are removed when the file
// ends, whatever the outcome.
class VideoEncoder final : public VideoEncoding {
  public:
    [[nodiscard]] tl::expected<void, VideoEngineError>
    encode(const std::filesystem::path& input, const std::filesystem::path& output, const VideoInfo& info,
           const VideoSettings& settings, const Progress& progress, const Executor& executor) override;

    // Sends SIGTERM to the running ffmpeg; a pass not yet started never starts.
    void cancel() override;

    // The fraction of a pass that a progress line reports for a source of `duration` seconds (at
    // least 0.001) encoded at `frameRate`: "out_time_us=" against the duration, "frame=" against
    // the frames expected (ffmpeg's first VP9 pass reports no time at all), at most 1; nothing for
    // other lines, "N/A" and negative values.
    [[nodiscard]] static std::optional<double> passFraction(std::string_view line, double duration,
                                                            double frameRate);

  private:
    // The part of the file's progress that one pass covers.
    struct Slice {
        double start = 0;
        double end = 1;
    };

    tl::expected<void, VideoEngineError>
    run(const std::filesystem::path& ffmpeg, std::vector<std::string> arguments,
        const std::filesystem::path& input, const std::filesystem::path& output, double duration,
        double frameRate, Slice slice, const Progress& progress, const Executor& executor);

    std::mutex m_mutex; // guards the two below, never held while signalling
    std::shared_ptr<ChildProcess> m_current;
    bool m_wasCancelled = false;
};

} // namespace quillmorph
