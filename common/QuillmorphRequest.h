#pragma once

#include "ActionKind.h"

#include <string>
#include <vector>

namespace quillmorph {

// What the file-manager extension hands to the application: an action and the selected files.
struct QuillmorphRequest {
    ActionKind action = ActionKind::image;
    std::vector<std::string> paths; // absolute paths, in selection order

    // The paths as file URLs ("file:///a%20b.jpg"), same order; each path is taken as a
    // file-system path, never parsed as a URL.
    [[nodiscard]] std::vector<std::string> urls() const;

    bool operator==(const QuillmorphRequest&) const = default;
};

// A local path as a file URL, percent-encoding everything outside RFC 3986's path characters.
[[nodiscard]] std::string fileURL(std::string_view path);

} // namespace quillmorph
