#pragma once

#include <gio/gio.h>
// The header declares the module entry points without C linkage.
extern "C" {
#include <nautilus-extension.h>
}

#include <optional>
#include <string>

namespace quillmorph::testing {

// A file as GNOME Files describes it to extensions: its location and the MIME type the host
// determined, which is GIO's content type of the file unless `mimeType` says otherwise.
NautilusFileInfo* newFileInfo(GFile* location, const std::optional<std::string>& mimeType = std::nullopt);

} // namespace quillmorph::testing
