#pragma once

#include <filesystem>
#include <optional>

// The per-user folder where the instances keep their sockets and where requests too long for a
// command line wait for the application: $XDG_RUNTIME_DIR/quillmorph, else quillmorph-<uid> in the
// temporary folder.
namespace quillmorph::RuntimeFolder {

// The folder, created 0700 when missing. Nothing, and an error logged, unless it is a directory
// (not a link to one) owned by this user that no one else may enter: in a shared temporary folder
// another user could have made it first.
[[nodiscard]] std::optional<std::filesystem::path> path();

} // namespace quillmorph::RuntimeFolder
