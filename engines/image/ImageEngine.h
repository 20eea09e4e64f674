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

// Starts the image library. Starting sets environment variables, so a program with threads calls
// this first, while no other thread can be reading them; every function below starts it anyway.
void start();

// Whether this system can write the format; asked of the image library on every call.
[[nodiscard]] bool supports(ImageFormat format);

// The upright pixel size from the file's header, without decoding pixels (orientations 5-8 swap
// width and height). Nothing when the file cannot be opened as an image.
[[nodiscard]] std::optional<Size> pixelSize(const std::filesystem::path& file);

// The first image of the file, upright, 8-bit sRGB: premultiplied RGBA when it has alpha, RGBX
// otherwise. Anything unreadable (not an image, truncated, empty, above 400 megapixels) is
// `unreadable(file)`.
[[nodiscard]] tl::expected<Bitmap, ImageEngineError> loadNormalized(const std::filesystem::path& file);

// loadNormalized followed by resize to `target`, with the geometry computed from the file's full
// upright size, in one pass: the pixels stream from the decoder into the resampler, and a decoder
// that can scale (JPEG, WebP) decodes at a reduced size, never below twice the scaled size. The result
// is already at target's geometry, so resize(result, target) returns it unchanged.
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
