#pragma once

namespace quillmorph {

// A page rectangle in PDF points (1/72 inch): lower-left corner and size, in default user space.
struct PageBox {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const PageBox&) const = default;
};

struct PixelSize {
    int width = 0;
    int height = 0;

    bool operator==(const PixelSize&) const = default;
};

// Where a source page lies: its media box, the visible part of it (the crop box, which is the
// media box unless the page says otherwise) and its clockwise display rotation.
struct PageGeometry {
    PageBox mediaBox;
    PageBox cropBox;
    int rotation = 0; // 0, 90, 180 or 270

    bool operator==(const PageGeometry&) const = default;
};

} // namespace quillmorph
