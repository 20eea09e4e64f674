#include "VipsImage.h"

#include <memory>
#include <mutex>
#include <system_error>

namespace quillmorph::VipsImage {

void start() {
    static std::once_flag started;
    std::call_once(started, [] {
        if (VIPS_INIT("quillmorph") != 0)
            throw vips::VError("libvips could not start");
        vips_cache_set_max(0);
    });
}

void forgetError() {
    vips_error_clear();
}

bool hasOperation(const char* nickname) {
    start();
    return vips_type_find("VipsOperation", nickname) != 0;
}

vips::VImage open(const std::filesystem::path& file, vips::VOption* options) {
    start();
    std::unique_ptr<vips::VOption> owned(options);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw vips::VError("not a regular file");
    // A source, unlike a file name, is never parsed for "[options]" and is identified by content.
    const vips::VSource source = vips::VSource::new_from_file(file.c_str());
    return vips::VImage::new_from_source(source, "", owned.release());
}

std::string loader(const vips::VImage& image) {
    if (image.get_typeof("vips-loader") == 0)
        return {};
    return image.get_string("vips-loader");
}

int orientation(const vips::VImage& image) {
    if (image.get_typeof(VIPS_META_ORIENTATION) == 0)
        return 1;
    try {
        const int value = image.get_int(VIPS_META_ORIENTATION);
        return value >= 1 && value <= 8 ? value : 1;
    } catch (const vips::VError&) {
        // Not an integer.
        forgetError();
        return 1;
    }
}

vips::VImage view(std::span<const std::uint8_t> rgba, int width, int height) {
    start();
    // libvips only reads an image made over foreign memory.
    auto* data = const_cast<std::uint8_t*>(rgba.data());
    return vips::VImage::new_from_memory(data, rgba.size(), width, height, 4, VIPS_FORMAT_UCHAR)
        .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

vips::VImage view(const Bitmap& image) {
    return view(image.pixels(), image.width(), image.height());
}

Bitmap render(const vips::VImage& image, bool hasAlpha) {
    if (image.bands() != 4 || image.format() != VIPS_FORMAT_UCHAR)
        throw vips::VError("render needs a four-band 8-bit image");
    // A fresh memory image: copy_memory() would hand back an image that is already in memory, which
    // may be a view over someone else's pixels.
    vips::VImage memory(vips_image_new_memory());
    if (vips_image_write(image.get_image(), memory.get_image()) != 0)
        throw vips::VError();
    const auto* pixels = static_cast<const std::uint8_t*>(memory.data());
    // The deleter holds the image, and so its buffer, for as long as any copy of the bitmap lives.
    std::shared_ptr<const std::uint8_t[]> shared(pixels, [memory](const std::uint8_t*) {});
    return Bitmap(memory.width(), memory.height(), hasAlpha, std::move(shared));
}

std::vector<std::uint8_t> bytes(VipsBlob* blob) {
    const auto release = [](VipsBlob* area) {
        vips_area_unref(VIPS_AREA(area));
    };
    const std::unique_ptr<VipsBlob, decltype(release)> owned(blob, release);
    std::size_t length = 0;
    const auto* data = static_cast<const std::uint8_t*>(vips_blob_get(owned.get(), &length));
    return {data, data + length};
}

} // namespace quillmorph::VipsImage
