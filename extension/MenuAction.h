#pragma once

#include "common/ActionKind.h"

#include <optional>

namespace quillmorph {

// One entry of the context menu; the raw value is the tag its menu item carries.
enum class MenuAction : long { image = 1, video = 2, pdf = 3, audio = 4, extractAudio = 5 };

// Nothing for a tag outside 1...5.
[[nodiscard]] std::optional<MenuAction> menuAction(long rawValue);

[[nodiscard]] constexpr long tag(MenuAction action) {
    return static_cast<long>(action);
}

// The action of the request the entry sends.
[[nodiscard]] ActionKind actionKind(MenuAction action);

} // namespace quillmorph
