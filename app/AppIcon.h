#pragma once

#include <QIcon>

// The application's icon, named like its desktop entry: the icon theme's when the theme has it
// (an installed copy), else the hicolor PNGs beside the resources (share/icons next to
// share/quillmorph), so that the build tree shows it too. Empty when neither exists.
namespace quillmorph::AppIcon {

[[nodiscard]] QString name();
[[nodiscard]] QIcon icon();

} // namespace quillmorph::AppIcon
