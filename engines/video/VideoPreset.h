#pragma once

#include "VideoFormat.h"
#include "engines/image/FrameSizing.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph {

// One row of the fixed preset table; pickers identify it by `id`.
struct VideoPreset {
    std::string id;
    std::string name;   // in the current language
    std::string detail; // in the current language
    FrameSizing sizing;
    std::int64_t videoBitrate = 0;      // kbit/s
    std::optional<double> frameRateCap; // none keeps the source rate
    std::int64_t audioBitrate = 0;      // kbit/s
    VideoCodec codec = VideoCodec::h264;

    // The table in picker order, rebuilt on each call so that its texts follow the language.
    [[nodiscard]] static std::vector<VideoPreset> all();

    bool operator==(const VideoPreset&) const = default;
};

} // namespace quillmorph
