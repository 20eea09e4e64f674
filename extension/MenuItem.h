#pragma once

#include "extension/MenuAction.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph {

// A context-menu item as the extension describes it, before the host turns it into its own object.
struct MenuItem {
    std::string title;
    std::optional<MenuAction> action;          // what a click runs; nothing for an item that opens a submenu
    std::optional<std::filesystem::path> icon; // the "MenuIcon" image
    std::vector<MenuItem> submenu;

    bool operator==(const MenuItem&) const = default;
};

} // namespace quillmorph
