#pragma once

#include "extension/MenuAction.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmorph {

// The standard types a file's content type conforms to; the host's type system decides.
struct Conformance {
    bool pdf = false;
    bool audio = false;
    bool image = false;
    bool movie = false;
    bool audiovisualContent = false;

    bool operator==(const Conformance&) const = default;
};

// One selected item as the host reports it.
struct SelectedItem {
    std::string name;                       // the file name, whose extension also classifies
    std::optional<std::string> path;        // nothing for a file that has no local path
    std::optional<std::string> contentType; // nothing when the type is unknown or unreadable
    Conformance conformsTo;

    bool operator==(const SelectedItem&) const = default;
};

// Lower-case extensions that make a file a video or an audio file whatever its content type says.
inline constexpr std::array<std::string_view, 5> extraVideoExtensions{"mkv", "webm", "m4v", "mts", "m2ts"};
inline constexpr std::array<std::string_view, 14> audioExtensions{
    "mp3", "m4a", "aac", "wav", "flac", "aif", "aiff", "aifc", "opus", "ogg", "oga", "caf", "wma", "alac"};

// The paths of a selection sorted by kind, each list in selection order.
struct SelectedMedia {
    std::vector<std::string> images;
    std::vector<std::string> videos;
    std::vector<std::string> pdfs;
    std::vector<std::string> audios;

    [[nodiscard]] bool empty() const {
        return images.empty() && videos.empty() && pdfs.empty() && audios.empty();
    }
    // The list an entry works on: extractAudio takes the videos.
    [[nodiscard]] const std::vector<std::string>& files(MenuAction action) const;

    bool operator==(const SelectedMedia&) const = default;
};

// Each item goes into the first class it matches: a PDF type, an audio type, an audio extension,
// an image type, a movie or audiovisual type, a video extension; anything else (and any item
// without a local path, which the application could not open) is left out.
[[nodiscard]] SelectedMedia classify(const std::vector<SelectedItem>& selection);

} // namespace quillmorph
