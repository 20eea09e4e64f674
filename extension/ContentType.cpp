#include "extension/ContentType.h"

#include <gio/gio.h>

namespace quillmorph {

Conformance conformance(const char* contentType) {
    const bool movie = g_content_type_is_a(contentType, "video/*");
    const bool audio = g_content_type_is_a(contentType, "audio/*");
    return {.pdf = static_cast<bool>(g_content_type_is_a(contentType, "application/pdf")),
            .audio = audio,
            .image = static_cast<bool>(g_content_type_is_a(contentType, "image/*")),
            .movie = movie,
            .audiovisualContent = movie || audio || g_content_type_is_a(contentType, "application/ogg")};
}

} // namespace quillmorph
