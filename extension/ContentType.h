#pragma once

#include "extension/SelectedMedia.h"

namespace quillmorph {

// The standard types a GIO content type conforms to, as the classification expects them.
[[nodiscard]] Conformance conformance(const char* contentType);

} // namespace quillmorph
