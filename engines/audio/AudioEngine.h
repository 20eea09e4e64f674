#pragma once

#include "AudioEngineError.h"
#include "AudioInfo.h"
#include "AudioSettings.h"
#include "AudioSource.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

// Inspects and converts audio with the external ffprobe and ffmpeg; the same engine extracts the
// audio of videos. Stateless: every function blocks until its tool has finished and may run on
// several threads at once, never on a thread that must stay responsive.
namespace quillmorph::AudioEngine {

// The suffix of every audio output's name: "song-converted.m4a".
inline constexpr std::string_view outputSuffix = "-converted";

// False when the user default "QuillmorphIgnoreFFmpeg" is true; otherwise whether ffmpeg is found.
[[nodiscard]] bool isAvailable();

// ffprobe's facts about the first audio stream of `file`: needsFFmpeg when ffprobe is missing or
// switched off, unreadable(file) when it is no regular file or none ffprobe reads, noAudioTrack(file) when
// it has no audio stream.
[[nodiscard]] tl::expected<AudioInfo, AudioEngineError> inspect(const std::filesystem::path& file);

struct ToolRun {
    int status = -1;    // the exit status; 128 + the signal when one ended it; -1 when it could not start
    std::string output; // everything written to standard output
    std::string error;  // everything written to standard error

    bool operator==(const ToolRun&) const = default;
};

// Runs `tool` with `arguments` (without the program name) to its end, reading both of its output
// streams at once so that neither can fill up and stall it; standard input is /dev/null.
[[nodiscard]] ToolRun run(const std::filesystem::path& tool, const std::vector<std::string>& arguments);

// Converts `input` with `settings` into a new file at `destination`, or at the next free name of
// the "-converted" family when another writer takes that name first; returns where it landed.
// ffmpeg writes a hidden temporary file beside the destination that is moved into place only when
// ffmpeg exits 0 having written something: otherwise nothing is left behind and the error is
// `failed` with ffmpeg's last error line (empty when it printed none, or no valid UTF-8), or
// needsFFmpeg when ffmpeg is missing or switched off, unreadable(input) when `input` is no regular
// file. Never replaces an existing file.
[[nodiscard]] tl::expected<std::filesystem::path, AudioEngineError>
convert(const std::filesystem::path& input, const std::filesystem::path& destination,
        const AudioSettings& settings, const AudioSource& source);

} // namespace quillmorph::AudioEngine
