#pragma once

#include "VideoEncoding.h"

#include <memory>
#include <optional>

// Chooses the video engine for each file and says what needs ffmpeg.
namespace quillmorph::VideoEngines {

// A fresh engine for one file: the ffmpeg runner when FFmpegTool::isAvailable(), else the
// in-process engine. Asked again for every file.
[[nodiscard]] std::unique_ptr<VideoEncoding> make();

// What a job would need ffmpeg for: nothing while ffmpeg is available; else `container` for WebM
// output, else `hdr` for an HDR source.
[[nodiscard]] std::optional<VideoEngineError::Missing> blocked(const VideoSettings& settings,
                                                               const VideoInfo& info);

// The probe that goes with the engine: ffprobe when ffmpeg is available, else the in-process one.
[[nodiscard]] tl::expected<VideoInfo, VideoEngineError> probe(const std::filesystem::path& file);

} // namespace quillmorph::VideoEngines
