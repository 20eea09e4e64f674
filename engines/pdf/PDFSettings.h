#pragma once

#include "common/EnumText.h"

#include <optional>

namespace quillmorph {

// One PDF job's settings; the defaults are those of a new PDF panel.
struct PDFSettings {
    // Rendering densities in slider order (low, medium, high).
    enum class Resolution { web, docs, print };
    // Every page re-rendered as one picture, or the pages kept and only their pictures recompressed.
    enum class Method { pagesAsPictures, keepText };

    double imageQuality = 0.7; // JPEG quality of the page images, 0 … 1
    Resolution resolution = Resolution::docs;
    bool grayscale = false; // render pages as 8-bit gray
    bool optimize = true;   // blank the output's document-information entries
    Method method = Method::pagesAsPictures;

    bool operator==(const PDFSettings&) const = default;
};

template <> struct EnumText<PDFSettings::Resolution> {
    static constexpr std::array<std::string_view, 3> names{"web", "docs", "print"};
};

template <> struct EnumText<PDFSettings::Method> {
    static constexpr std::array<std::string_view, 2> names{"pagesAsPictures", "keepText"};
};

// The resolution's raw value in dots per inch: 96, 150, 300.
[[nodiscard]] constexpr int dpi(PDFSettings::Resolution resolution) {
    switch (resolution) {
    case PDFSettings::Resolution::web:
        return 96;
    case PDFSettings::Resolution::docs:
        return 150;
    case PDFSettings::Resolution::print:
        return 300;
    }
    return 0;
}

// The resolution whose raw value is `dotsPerInch`; nothing for any other number.
[[nodiscard]] constexpr std::optional<PDFSettings::Resolution> resolution(int dotsPerInch) {
    for (PDFSettings::Resolution candidate : allCases<PDFSettings::Resolution>()) {
        if (dpi(candidate) == dotsPerInch)
            return candidate;
    }
    return std::nullopt;
}

} // namespace quillmorph
