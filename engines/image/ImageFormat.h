#pragma once

#include "common/EnumText.h"
#include "common/Phrase.h"

#include <string_view>

namespace quillmorph {

// Output image formats in picker order; the raw value is also the output file's extension.
enum class ImageFormat { jpg, png, webp, avif };

template <>
struct EnumText<ImageFormat> {
    static constexpr std::array<std::string_view, 4> names{"jpg", "png", "webp", "avif"};
};

// "JPG", "PNG", "WebP", "AVIF": the picker label, also named in error texts.
[[nodiscard]] std::string_view label(ImageFormat format);
[[nodiscard]] Phrase detailPhrase(ImageFormat format);

} // namespace quillmorph
