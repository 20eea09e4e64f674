#pragma once

#include "common/EnumText.h"
#include "common/Phrase.h"

#include <array>
#include <string_view>

namespace quillmorph {

// Output containers in picker order; the raw value is also the output file's extension. WebM
// (always VP9 and Opus) needs ffmpeg.
enum class VideoContainer { mp4, webm };

template <> struct EnumText<VideoContainer> {
    static constexpr std::array<std::string_view, 2> names{"mp4", "webm"};
};

// "MP4", "WEBM".
[[nodiscard]] std::string_view label(VideoContainer container);

// Video codecs of MP4 output, in picker order.
enum class VideoCodec { h264, hevc };

template <> struct EnumText<VideoCodec> {
    static constexpr std::array<std::string_view, 2> names{"h264", "hevc"};
};

// "H.264", "HEVC".
[[nodiscard]] std::string_view label(VideoCodec codec);
[[nodiscard]] Phrase detailPhrase(VideoCodec codec);

} // namespace quillmorph
