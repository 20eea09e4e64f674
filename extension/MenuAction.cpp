#include "extension/MenuAction.h"

namespace quillmorph {

std::optional<MenuAction> menuAction(long rawValue) {
    if (rawValue < tag(MenuAction::image) || rawValue > tag(MenuAction::extractAudio))
        return std::nullopt;
    return static_cast<MenuAction>(rawValue);
}

ActionKind actionKind(MenuAction action) {
    switch (action) {
    case MenuAction::image:
        return ActionKind::image;
    case MenuAction::video:
        return ActionKind::video;
    case MenuAction::pdf:
        return ActionKind::pdf;
    case MenuAction::audio:
        return ActionKind::audio;
    case MenuAction::extractAudio:
        return ActionKind::extractAudio;
    }
    return ActionKind::image;
}

} // namespace quillmorph
