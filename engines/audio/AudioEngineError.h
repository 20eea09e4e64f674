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
        return {Kind::unreadable, std::move(file)};
    }
    static AudioEngineError noAudioTrack(std::filesystem::path file) {
        return {Kind::noAudioTrack, std::move(file)};
    }
    static AudioEngineError failed(std::string message) { return {Kind::failed, {}, std::move(message)}; }
    static AudioEngineError needsFFmpeg() { return {Kind::needsFFmpeg}; }

    bool operator==(const AudioEngineError&) const = default;
};

// The text shown for the error, in the current language; ffmpeg's own line for `failed`, unless it
// said nothing.
[[nodiscard]] std::string describe(const AudioEngineError& error);

} // namespace quillmorph
