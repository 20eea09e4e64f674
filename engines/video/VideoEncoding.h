#pragma once

#include "VideoEngineError.h"
#include "VideoInfo.h"
#include "VideoSettings.h"

#include <filesystem>
#include <functional>
#include <tl/expected.hpp>

namespace quillmorph {

// Where progress reports run: the application posts them to its main thread, the command line
// runs them at once.
using Executor = std::function<void(std::function<void()>)>;

// A video engine: the ffmpeg runner or the in-process engine. One object encodes one file.
class VideoEncoding {
  public:
    // The fraction 0…1 of the current file, always called through the executor, in order.
    using Progress = std::function<void(double fraction)>;

    virtual ~VideoEncoding() = default;

    // Encodes `input` into `output`, a file the caller created (an OutputFile's temporary), whose
    // contents are replaced. Blocks the calling thread until the file is done. On failure
    // and on cancellation nothing is left at `output`.
    [[nodiscard]] virtual tl::expected<void, VideoEngineError>
    encode(const std::filesystem::path& input, const std::filesystem::path& output, const VideoInfo& info,
           const VideoSettings& settings, const Progress& progress, const Executor& executor) = 0;

    // Any thread, before or while encode runs: encode stops soon and fails with cancelled.
    virtual void cancel() = 0;
};

} // namespace quillmorph
