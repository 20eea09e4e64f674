#pragma once

#include <string_view>

namespace quillmorph {

// True for an absolute http or https address with a host and no blank or control characters:
// the only addresses the application fetches or hands to the browser.
[[nodiscard]] bool isWebAddress(std::string_view text);

} // namespace quillmorph
