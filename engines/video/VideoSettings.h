#pragma once

#include "VideoFormat.h"
#include "VideoInfo.h"
#include "engines/image/FrameSizing.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph {

// Whole-pixel video dimensions.
struct FrameSize {
    std::int64_t width = 0;
    std::int64_t height = 0;

    bool operator==(const FrameSize&) const = default;
};

// The settings of one video job, shared by every file of a batch. The defaults are the
// "original" preset's, with audio and MP4.
struct VideoSettings {
    FrameSizing sizing = FrameSizing::untouched();
    std::int64_t videoBitrate = 6000;    // kbit/s
    std::optional<double> frameRateCap;  // none keeps the source rate
    bool includeAudio = true;            // keep (re-encode) the first audio stream
    std::int64_t audioBitrate = 192;     // kbit/s
    VideoCodec codec = VideoCodec::h264; // MP4 only: WebM is always VP9
    VideoContainer container = VideoContainer::mp4;

    struct Geometry {
        FrameSize scaled; // the size the picture is resized to
        FrameSize output; // the frame after the centred crop

        bool operator==(const Geometry&) const = default;
    };

    // The sizing's even-dimension geometry for the source, truncated to whole pixels.
    [[nodiscard]] Geometry geometry(const VideoInfo& info) const;

    // The output frame rate: the source's, lowered to the cap when there is one.
    [[nodiscard]] double targetFrameRate(const VideoInfo& info) const;

    // The ffmpeg -vf value: HDR tone mapping to BT.709, scale, crop, fps, then always
    // format=yuv420p.
    [[nodiscard]] std::string filterChain(const VideoInfo& info) const;

    // ffmpeg's arguments, without the program name. `pass` is none for a single pass, 1 or 2 for
    // the two passes of a WebM encode (pass 1 writes no output), `passLog` the statistics prefix.
    [[nodiscard]] std::vector<std::string>
    arguments(const std::filesystem::path& input, const std::filesystem::path& output, const VideoInfo& info,
              std::optional<int> pass, const std::optional<std::filesystem::path>& passLog) const;

    // The expected output size in bytes: video and (when kept) audio bit rate over the duration,
    // plus 2 % for the container.
    [[nodiscard]] std::int64_t estimatedBytes(const VideoInfo& info) const;

    // Whether the source's audio is kept.
    [[nodiscard]] bool keepsAudio(const VideoInfo& info) const { return includeAudio && info.hasAudio; }

    bool operator==(const VideoSettings&) const = default;
};

} // namespace quillmorph
