#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmorph::ThunarActions {

// Thunar's custom-actions document (uca.xml) with the <action> elements of `ours` in place of any
// action carrying one of their unique-ids; every other byte of `existing` is kept. Nothing, with
// `problem` set, when either document is not a well-formed <actions> document.
[[nodiscard]] std::optional<std::string> merge(std::string_view existing, std::string_view ours,
                                               std::string& problem);

} // namespace quillmorph::ThunarActions
