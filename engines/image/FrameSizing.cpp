#include "FrameSizing.h"

#include <algorithm>
#include <cmath>

namespace quillmorph {
namespace {

// std::round rounds halves away from zero.
double dimension(double value, FrameSizing::Dimensions dimensions) {
    if (dimensions == FrameSizing::Dimensions::evenOnly)
        return std::max(2.0, 2 * std::round(value / 2));
    return std::max(1.0, std::round(value));
}

Size sized(double width, double height, FrameSizing::Dimensions dimensions) {
    return {dimension(width, dimensions), dimension(height, dimensions)};
}

} // namespace

FrameSizing::Geometry FrameSizing::geometry(Size source, Dimensions dimensions) const {
    const double sw = source.width;
    const double sh = source.height;
    const auto boxWidth = double(width);
    const auto boxHeight = double(height);
    switch (kind) {
    case Kind::untouched: {
        const Size size = sized(sw, sh, dimensions);
        return {size, size};
    }
    case Kind::fit: {
        const double scale = std::min(1.0, std::min(boxWidth / sw, boxHeight / sh));
        const Size size = sized(sw * scale, sh * scale, dimensions);
        return {size, size};
    }
    case Kind::exact: {
        const double cover = std::min(1.0, std::max(boxWidth / sw, boxHeight / sh));
        // Where the source stays smaller than the box (no enlargement), the box shrinks by the same
        // factor both ways, so the output keeps the box's aspect ratio.
        const double shrink = std::min({1.0, sw * cover / boxWidth, sh * cover / boxHeight});
        return {sized(sw * cover, sh * cover, dimensions),
                sized(shrink * boxWidth, shrink * boxHeight, dimensions)};
    }
    }
    return {};
}

} // namespace quillmorph
