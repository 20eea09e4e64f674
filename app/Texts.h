#pragma once

#include "common/Localization.h"
#include "common/Phrase.h"

#include <QString>
#include <filesystem>

// Catalogue texts and paths as the widgets show them.
namespace quillmorph {

[[nodiscard]] inline QString text(Phrase phrase, const Localization::Arguments& arguments = {}) {
    return QString::fromStdString(Localization::string(phrase, arguments));
}

[[nodiscard]] inline QString fromPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

} // namespace quillmorph
