#pragma once

#include <optional>

namespace quillmorph {

// What the files of an audio batch are: audio to convert, or videos whose audio is extracted.
enum class AudioOrigin { audioFiles, videos };

// Facts about one input that shape its ffmpeg arguments.
struct AudioSource {
    bool fromVideo = false;      // the audio of a video is being extracted
    std::optional<int> bitDepth; // of the first audio stream, when the probe knows it

    bool operator==(const AudioSource&) const = default;
};

} // namespace quillmorph
