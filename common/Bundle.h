#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quillmorph::Bundle {

inline constexpr std::string_view applicationIdentifier = "com.harrowlane.Quillmorph";
inline constexpr std::string_view extensionIdentifier = "com.harrowlane.Quillmorph.Finder";

// The project version ("1.0.0").
[[nodiscard]] std::string_view version();
// The built-in site address, used when the defaults hold no "QuillmorphSite".
[[nodiscard]] std::string_view site();

// The folder of the deliverable's resources: $QUILLMORPH_RESOURCE_DIR when set, else the one set by
// setResourceDirectory, else share/quillmorph beside the running executable's bin/.
[[nodiscard]] std::filesystem::path resourceDirectory();
// For code that is not the executable (the file-manager module); call before the first lookup.
void setResourceDirectory(std::filesystem::path directory);
// The named resource when it exists.
[[nodiscard]] std::optional<std::filesystem::path> resource(std::string_view name);
// The helpers folder, libexec/quillmorph beside the executable's bin/.
[[nodiscard]] std::filesystem::path helpersDirectory();

} // namespace quillmorph::Bundle
