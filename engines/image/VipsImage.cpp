#include "VipsImage.h"

#include "common/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillmorph::VipsImage {
namespace {

// ImageMagick's loader is blocked with the other untrusted ones and opened only for the two formats
// we read through it; while it is open, no other load may pick it by content.
constexpr const char* magickLoader = "VipsForeignLoadMagick";
std::shared_mutex magickGate;

// Non-blocking, so that a FIFO or device swapped in under the name cannot stall the open; only a
// regular file passes.
FileDescriptor openRegular(const std::filesystem::path& file) {
    FileDescriptor descriptor(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (descriptor.get() < 0 || fstat(descriptor.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw vips::VError("not a regular file");
    return descriptor;
}

std::vector<std::uint8_t> readFrom(int descriptor, std::size_t limit) {
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 65536> chunk;
    for (off_t offset = 0; bytes.size() < limit;) {
        const ssize_t count =
            pread(descriptor, chunk.data(), std::min(chunk.size(), limit - bytes.size()), offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw vips::VError("read failed");
        if (count == 0)
            break;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + count);
        offset += count;
    }
    return bytes;
}

std::uint32_t littleEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t index = width; index-- > 0;)
        value = value << 8 | bytes[at + index];
    return value;
}

// A Windows bitmap: "BM", then one of the DIB header sizes the format has had (core, 3, 4, 5 and
// the rarer 52/56/64-byte ones).
bool isBMP(std::span<const std::uint8_t> head) {
    if (head.size() < 18 || head[0] != 'B' || head[1] != 'M')
        return false;
    const std::uint32_t header = littleEndian(head, 14, 4);
    return header == 12 || header == 40 || header == 52 || header == 56 || header == 64 || header == 108 ||
           header == 124;
}

// An icon directory: reserved 0, type 1, at least one image.
bool isICO(std::span<const std::uint8_t> head) {
    return head.size() >= 6 && littleEndian(head, 0, 2) == 0 && littleEndian(head, 2, 2) == 1 &&
           littleEndian(head, 4, 2) > 0;
}

// From memory, so that ImageMagick never parses the file name (it reads "x.bmp[2]" as a scene and
// "prefix:" as a coder).
vips::VImage loadThroughMagick(int descriptor, std::unique_ptr<vips::VOption> options) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0)
        throw vips::VError("not readable");
    const std::vector<std::uint8_t> bytes = readFrom(descriptor, std::size_t(status.st_size));
    const std::unique_ptr<VipsBlob, void (*)(VipsBlob*)> blob(
        vips_blob_copy(bytes.data(), bytes.size()), [](VipsBlob* area) { vips_area_unref(VIPS_AREA(area)); });
    const std::unique_lock gate(magickGate);
    vips_operation_block_set(magickLoader, FALSE);
    try {
        vips::VImage image = vips::VImage::magickload_buffer(blob.get(), options.release());
        vips_operation_block_set(magickLoader, TRUE);
        return image;
    } catch (...) {
        vips_operation_block_set(magickLoader, TRUE);
        throw;
    }
}

} // namespace

void start() {
    static std::once_flag started;
    std::call_once(started, [] {
        if (VIPS_INIT("quillmorph") != 0)
            throw vips::VError("libvips could not start");
        vips_cache_set_max(0);
        // Loaders of formats we never promised stay shut, whatever a file claims to be; the matrix
        // loader takes plain text of numbers for an image yet is not marked untrusted here.
        vips_block_untrusted_set(TRUE);
        vips_operation_block_set("VipsForeignLoadMatrix", TRUE);
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
    const FileDescriptor descriptor = openRegular(file);
    const std::vector<std::uint8_t> head = readFrom(descriptor.get(), 18);
    if (isBMP(head) || isICO(head))
        return loadThroughMagick(descriptor.get(), std::move(owned));
    // A source, unlike a file name, is never parsed for "[options]" and is identified by content.
    const vips::VSource source = vips::VSource::new_from_descriptor(descriptor.get());
    const std::shared_lock gate(magickGate);
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
