#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmorph::SiteLinks {

// The product's web site: "QuillmorphSite" from the user defaults, else the built-in address;
// one trailing "/" dropped. Nothing when that text is empty or not a web address.
[[nodiscard]] std::optional<std::string> home();

// A section of the site: the home address with `fragment` ("install" gives "…#install").
[[nodiscard]] std::optional<std::string> page(std::string_view fragment);

} // namespace quillmorph::SiteLinks
