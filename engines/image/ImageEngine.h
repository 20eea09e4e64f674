#pragma once

#include "Bitmap.h"
#include "FrameSizing.h"
#include "ImageEngineError.h"
#include "ImageFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <tl/expected.hpp>
#include <vector>

// Reads, normalises, resizes and encodes one image. Stateless; every function may run on any thread.
namespace quillmorph::ImageEngine {

// Starts the image library with the loaders of formats we never promised blocked (BMP and ICO are
// read only when their first bytes say so). Starting sets environment variables, so every program
// that loads images calls this first, while no other thread can be reading them; every function
// below starts it anyway.
void start();

// Whether this system can write the format; asked of the image library on every call.
[[nodiscard]] bool supports(ImageFormat format);

// The upright pixel size from the file's header, without decoding pixels (orientations 5-8 swap
// width and height). Nothing when the file cannot be opened as an image.
[[nodiscard]] std::optional<Size> pixelSize(const std::filesystem::path& file);

// The first image of the file, upright, 8-bit sRGB: premultiplied RGBA when it has alpha, RGBX
// otherwise. Anything unreadable (not a regular file, not an image, truncated, empty) is
// `unreadable(file)`; above 400 megapixels it is `tooLarge(file)`, refused before decoding.
[[nodiscard]] tl::expected<Bitmap, ImageEngineError> loadNormalized(const std::filesystem::path& file);

// loadNormalized followed by resize to `target`, with the geometry computed from the file's full
// upright size, in one pass: the pixels stream from the decoder into the resampler, and a decoder
// that can scale (JPEG, WebP) decodes at a reduced size, never below twice the scaled size. The result
// is at target's output size already: resizing it again would apply the sizing twice.
[[nodiscard]] tl::expected<Bitmap, ImageEngineError> loadNormalized(const std::filesystem::path& file,
                                                                    const FrameSizing& target);

// The image at sizing's geometry; the very same image (isSameImage) when nothing changes.
[[nodiscard]] tl::expected<Bitmap, ImageEngineError> resize(const Bitmap& image, const FrameSizing& sizing);

// The complete output file. Fails with unsupportedOutput when !supports(format), and with
// encodingFailed when `stop` is requested before the encoder is done, wherever the encoder can stop.
[[nodiscard]] tl::expected<std::vector<std::uint8_t>, ImageEngineError>
encode(const Bitmap& image, ImageFormat format, double quality, std::stop_token stop = {});

// The largest palette a PNG at `quality` may be reduced to; 0 means no reduction (quality ≥ 0.95).
[[nodiscard]] int paletteSize(double quality);

} // namespace quillmorph::ImageEngine
