#pragma once

#include "AudioEngineError.h"
#include "AudioInfo.h"

#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

// ffprobe's view of the first audio stream of a file: the command line and the parser of its JSON.
namespace quillmorph::AudioProbe {

// ffprobe's arguments, without the program name.
[[nodiscard]] std::vector<std::string> arguments(const std::filesystem::path& file);

// ffprobe's standard output → AudioInfo. Output that is not a JSON object or lacks a "format"
// object is unreadable(file); no audio stream is noAudioTrack(file). A missing or mistyped field
// takes its default and is no error.
[[nodiscard]] tl::expected<AudioInfo, AudioEngineError> parse(std::string_view output,
                                                              const std::filesystem::path& file);

// A stream's bits per sample: "bits_per_raw_sample" when it is a positive decimal integer, else
// from "sample_fmt" (s16/s16p → 16; s32/s32p → 24, as lossless outputs stop at 24 bits);
// nothing for floating-point or unknown formats.
[[nodiscard]] std::optional<int> bitDepth(const nlohmann::json& stream);

} // namespace quillmorph::AudioProbe
