#pragma once

#include "ImageFormat.h"

namespace quillmorph::EncoderQuality {

// The lossy quality (0…1) a JPEG or AVIF encoder is given for the user's quality: unchanged, except
// that AVIF above 0.99 is sent as 0.99.
[[nodiscard]] double lossy(ImageFormat format, double quality);

// libvips' Q (1…100) for a lossy quality: quality × 100, rounded half away from zero.
[[nodiscard]] int libraryQ(double lossyQuality);

} // namespace quillmorph::EncoderQuality
