#pragma once

#include <optional>
#include <string>

namespace quillmorph {

// What probing an audio or video file tells about its first audio stream.
struct AudioInfo {
    double duration = 0;    // seconds, of the container; 0 when not reported
    int bitrate = 0;        // kbps, of the container, truncated; 0 when not reported
    int sampleRate = 44100; // Hz
    int channels = 2;
    std::optional<int> bitDepth; // see AudioProbe::bitDepth
    std::string codec;           // as ffprobe names it; empty when not reported

    bool operator==(const AudioInfo&) const = default;
};

} // namespace quillmorph
