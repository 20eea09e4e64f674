#pragma once

#include <QImage>
#include <filesystem>
#include <vector>

// Thumbnails of files for panel headers.
namespace quillmorph::Thumbnail {

// Where the freedesktop thumbnail cache keeps the file's thumbnails, large first:
// $XDG_CACHE_HOME (else ~/.cache) /thumbnails/{large,normal}/ + MD5 of the file URI + ".png".
[[nodiscard]] std::vector<std::filesystem::path> cacheCandidates(const std::filesystem::path& file);

// A cached thumbnail that is not older than the file, else the file decoded so that its longer side
// is at most `extent` pixels; a null image when neither exists (not an image, unreadable). Slow:
// call it off the main thread.
[[nodiscard]] QImage load(const std::filesystem::path& file, int extent);

} // namespace quillmorph::Thumbnail
