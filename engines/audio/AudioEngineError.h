#pragma once

#include <filesystem>
#include <string>

namespace quillmorph {

struct AudioEngineError {
    enum class Kind { unreadable, noAudioTrack, failed, needsFFmpeg };

    Kind kind = Kind::failed;
    std::filesystem::path file; // unreadable, noAudioTrack
    std::string message;        // failed: the last line ffmpeg wrote to its error output

    static AudioEngineError unreadable(std::filesystem::path file) {
        return {.kind = Kind::unreadable, .file = std::move(file), .message = {}};
    }
    static AudioEngineError noAudioTrack(std::filesystem::path file) {
        return {.kind = Kind::noAudioTrack, .file = std::move(file), .message = {}};
    }
    static AudioEngineError failed(std::string message) {
        return {.kind = Kind::failed, .file = {}, .message = std::move(message)};
    }
    static AudioEngineError needsFFmpeg() { return {.kind = Kind::needsFFmpeg, .file = {}, .message = {}}; }

    bool operator==(const AudioEngineError&) const = default;
};

// The text shown for the error, in the current language; ffmpeg's own line for `failed`, unless it
// said nothing.
[[nodiscard]] std::string describe(const AudioEngineError& error);

} // namespace quillmorph
