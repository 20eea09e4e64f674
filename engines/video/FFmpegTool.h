#pragma once

#include "VideoEngineError.h"
#include "VideoInfo.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

// Finds the external programs ffmpeg and ffprobe and says whether they may be used. Nothing is
// cached, so a tool installed while the application runs is found by the next call; every
// function may be called from any thread.
namespace quillmorph::FFmpegTool {

inline constexpr std::string_view ffmpeg = "ffmpeg";
inline constexpr std::string_view ffprobe = "ffprobe";

// The folders searched, in order: the helpers folder, $QUILLMORPH_FFMPEG_DIR when it is set (its
// value used as it is), /opt/homebrew/bin, /usr/local/bin and /usr/bin. There is no PATH lookup.
[[nodiscard]] std::vector<std::string> searchFolders();

// Replaces the folders searched, for tests; nothing puts the built-in list back.
void setSearchFolders(std::optional<std::vector<std::string>> folders);

// The first candidate folder + "/" + tool that is an executable regular file; nothing when none is.
[[nodiscard]] std::optional<std::filesystem::path> path(std::string_view tool);

// False when the user default "QuillmorphIgnoreFFmpeg" is true, so that everything behaves as if
// no ffmpeg were installed; otherwise whether both ffmpeg and ffprobe are found.
[[nodiscard]] bool isAvailable();

// Runs ffprobe on the file and describes it; blocks until ffprobe exits. Fails with toolMissing,
// launchFailed, probeFailed (not a regular file, ffprobe fails or prints no JSON object) or
// noVideoStream.
[[nodiscard]] tl::expected<VideoInfo, VideoEngineError> probe(const std::filesystem::path& file);

// ffprobe's JSON output (-show_format -show_streams) as the facts of `file`: the first video
// stream's size (swapped for a rotation of ±90°), rate, codec and HDR transfer; the format's
// duration, bit rate and size; whether an audio stream exists. A field that is missing or of the
// wrong type takes VideoInfo's default. Fails with probeFailed for text that is not a JSON object
// and with noVideoStream when no stream is video.
[[nodiscard]] tl::expected<VideoInfo, VideoEngineError> videoInfo(std::string_view json,
                                                                  const std::filesystem::path& file);

// A rate written as a fraction, "30000/1001" giving 29.97...: exactly two numbers (empty pieces
// dropped), a positive divisor and a positive quotient, else nothing. A plain "25" gives nothing.
[[nodiscard]] std::optional<double> parseRate(std::optional<std::string_view> text);

} // namespace quillmorph::FFmpegTool
