#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillmorph::FileNaming {

// A path beside `source` at which nothing exists at the time of the call: the source's base name
// (last extension dropped, an earlier run's suffix and counter stripped, a trailing "@2x"/"@3x"
// kept at the end), then `suffix`, then "-1", "-2", ... on collision, then "." + `extension`.
[[nodiscard]] std::filesystem::path destination(const std::filesystem::path& source, std::string_view suffix,
                                                std::string_view extension);

// The file's size in bytes; 0 when it does not exist or cannot be read.
[[nodiscard]] std::int64_t byteCount(const std::filesystem::path& file);

// `name` without an earlier run's `suffix` and "-N" counter (N of Unicode numeric characters);
// `name` unchanged when it does not end with the suffix once the counter is gone.
[[nodiscard]] std::string stripping(std::string_view suffix, std::string_view name);

} // namespace quillmorph::FileNaming
