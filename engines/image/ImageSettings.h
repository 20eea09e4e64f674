#pragma once

#include "FrameSizing.h"
#include "ImageFormat.h"

#include <filesystem>

namespace quillmorph {

// One image job's settings, also the identity of the panel's estimate.
struct ImageSettings {
    ImageFormat format = ImageFormat::jpg;
    FrameSizing sizing;
    double quality = 0.75; // 0.05 … 1.0, one value for every format

    // Quality is compared bit for bit, not numerically.
    bool operator==(const ImageSettings& other) const;

    // The output format a selection starting with `file` proposes: the file's own format when it
    // can be written (WebP always), PNG for TIFF, BMP, GIF and PNG-like inputs, JPEG otherwise.
    [[nodiscard]] static ImageFormat defaultFormat(const std::filesystem::path& file);
};

} // namespace quillmorph
