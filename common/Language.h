#pragma once

#include <string>

namespace quillmorph {

// One entry of the language document's "languages" list.
struct Language {
    std::string code; // identity; the inner key of the document's string table
    std::string name; // the language's own name
    std::string flag; // a flag glyph shown before the name

    bool operator==(const Language&) const = default;
};

} // namespace quillmorph
