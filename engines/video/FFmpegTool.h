#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
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

} // namespace quillmorph::FFmpegTool
