#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quillmorph {

// What a probe learned about one source video.
struct VideoInfo {
    std::int64_t width = 0;    // displayed: already swapped for a quarter-turn rotation
    std::int64_t height = 0;   // displayed
    double duration = 0;       // seconds; 0 when unknown
    double frameRate = 30.0;   // frames per second; 30 when unknown
    std::string codec = "?";   // short name of the video codec
    std::int64_t bitrate = 0;  // bits per second; 0 when unknown
    std::int64_t fileSize = 0; // bytes; 0 when unknown
    bool hasAudio = false;
    std::optional<std::string> audioCodec; // of the first audio stream
    bool isHDR = false; // PQ or HLG transfer

    // The duration rounded to whole seconds (halves away from zero), in the language the application
    // shows: in English "45s" below a minute, else whole minutes and the rest, "2m 5s".
    [[nodiscard]] std::string durationLabel() const;

    bool operator==(const VideoInfo&) const = default;
};

} // namespace quillmorph
