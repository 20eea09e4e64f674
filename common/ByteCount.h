#pragma once

#include <cstdint>
#include <string>

namespace quillmorph {

// A file size as people read it, in decimal units and in the language the application shows,
// whatever the process locale: in English "Zero KB", "1 byte", "512 bytes", "12 KB", "12.3 MB",
// "1.25 GB"; in German "Null KB", "512 Byte", "12,3 MB".
[[nodiscard]] std::string formatByteCount(std::int64_t bytes);

} // namespace quillmorph
