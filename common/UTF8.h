#pragma once

#include <string_view>

namespace quillmorph {

// Well-formed UTF-8 (RFC 3629): no overlong forms, surrogates or values beyond U+10FFFF.
[[nodiscard]] bool isValidUTF8(std::string_view text);

} // namespace quillmorph
