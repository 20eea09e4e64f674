#pragma once

#include <optional>

namespace quillmorph {

// Facts about one input that shape its ffmpeg arguments.
struct AudioSource {
    bool fromVideo = false;      // the audio of a video is being extracted
    std::optional<int> bitDepth; // of the first audio stream, when the probe knows it

    bool operator==(const AudioSource&) const = default;
};

} // namespace quillmorph
