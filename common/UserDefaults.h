#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillmorph::UserDefaults {

// $QUILLMORPH_CONFIG_DIR/defaults.json, else $XDG_CONFIG_HOME/quillmorph/defaults.json, else
// ~/.config/quillmorph/defaults.json.
[[nodiscard]] std::filesystem::path file();

// Values of the wrong type read as absent; a missing or corrupt file reads as empty.
[[nodiscard]] std::optional<std::string> string(std::string_view key);
[[nodiscard]] std::optional<bool> boolean(std::string_view key);

// Write one key, replacing the file atomically; nothing is written when the stored value is
// already equal. False when the file could not be written.
bool setString(std::string_view key, const std::string& value);
bool setBoolean(std::string_view key, bool value);

} // namespace quillmorph::UserDefaults
