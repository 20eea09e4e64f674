#pragma once

#include <cstdint>

namespace quillmorph {

// A pixel size; whole numbers wherever FrameSizing produces one.
struct Size {
    double width = 0;
    double height = 0;

    bool operator==(const Size&) const = default;
};

// The output geometry a user asked for: keep the source size, fit inside a box, or exactly a box's
// aspect ratio (cover, then crop the centre). Neither fit nor exact ever enlarges the source.
struct FrameSizing {
    enum class Kind { untouched, fit, exact };

    Kind kind = Kind::untouched;
    std::int64_t width = 0;  // fit and exact only
    std::int64_t height = 0; // fit and exact only

    [[nodiscard]] static FrameSizing untouched() { return {}; }
    [[nodiscard]] static FrameSizing fit(std::int64_t width, std::int64_t height) {
        return {.kind = Kind::fit, .width = width, .height = height};
    }
    [[nodiscard]] static FrameSizing exact(std::int64_t width, std::int64_t height) {
        return {.kind = Kind::exact, .width = width, .height = height};
    }

    // `scaled` is the size the source is drawn at, `output` the canvas it is centred on.
    struct Geometry {
        Size scaled;
        Size output;

        bool operator==(const Geometry&) const = default;
    };
    // whole: every dimension max(1, rnd(x)); evenOnly (video encoders): max(2, 2 × rnd(x / 2)).
    // rnd rounds halves away from zero.
    enum class Dimensions { whole, evenOnly };

    [[nodiscard]] Geometry geometry(Size source, Dimensions dimensions) const;

    bool operator==(const FrameSizing&) const = default;
};

} // namespace quillmorph
