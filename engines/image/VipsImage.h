#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>
#include <vips/vips8>

// Glue between libvips and our Bitmap. Every function may throw vips::VError.
namespace quillmorph::VipsImage {

// Starts libvips once per process, from any thread, with its operation cache off (nothing decoded is
// kept between calls) and its untrusted loaders blocked.
void start();

// Clears libvips' per-thread error text after a VError has been turned into our error.
void forgetError();

// Whether this libvips has the operation, e.g. the saver "heifsave_buffer".
[[nodiscard]] bool hasOperation(const char* nickname);

// Opens the file's first image; only its header is read until pixels are asked for. Only regular
// files are opened (a directory or a pipe is no image); BMP and ICO, recognised by their first
// bytes, go to ImageMagick's loader, every other file to the trusted loaders by content. `options`
// go to the loader.
[[nodiscard]] vips::VImage open(const std::filesystem::path& file, vips::VOption* options);

// The loader's nickname ("jpegload_source", "webpload_source", …) of an image from open().
[[nodiscard]] std::string loader(const vips::VImage& image);

// The EXIF orientation 1-8 the loader read; 1 when absent or out of range.
[[nodiscard]] int orientation(const vips::VImage& image);

// Four-band 8-bit sRGB images over memory we own, without a copy: the memory must outlive every use
// of the result.
[[nodiscard]] vips::VImage view(const Bitmap& image);
[[nodiscard]] vips::VImage view(std::span<const std::uint8_t> rgba, int width, int height);

// Renders a four-band 8-bit image into a fresh buffer that the returned Bitmap adopts.
[[nodiscard]] Bitmap render(const vips::VImage& image, bool hasAlpha);

// A saver's output (a VipsBlob, released here) as bytes.
[[nodiscard]] std::vector<std::uint8_t> bytes(VipsBlob* blob);

} // namespace quillmorph::VipsImage
