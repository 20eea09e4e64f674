#include "ImageSettings.h"

#include "ImageEngine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmorph {
namespace {

// A small registry of image file types: which extensions name them and which type each one
// conforms to (its parent), enough to pick a default output format.
enum class FileType { jpeg, png, apng, tiff, dng, bmp, gif, webp, avif, heif, heic, jxl, jpeg2000, ico, svg };

struct TypeInfo {
    FileType type;
    std::optional<FileType> parent;
    std::array<std::string_view, 4> extensions;
};

constexpr std::array types{
    TypeInfo{FileType::jpeg, {}, {"jpg", "jpeg", "jpe", "jfif"}},
    TypeInfo{FileType::png, {}, {"png"}},
    TypeInfo{FileType::apng, FileType::png, {"apng"}},
    TypeInfo{FileType::tiff, {}, {"tif", "tiff"}},
    TypeInfo{FileType::dng, FileType::tiff, {"dng"}},
    TypeInfo{FileType::bmp, {}, {"bmp", "dib"}},
    TypeInfo{FileType::gif, {}, {"gif"}},
    TypeInfo{FileType::webp, {}, {"webp"}},
    TypeInfo{FileType::avif, {}, {"avif"}},
    TypeInfo{FileType::heif, {}, {"heif", "hif"}},
    TypeInfo{FileType::heic, FileType::heif, {"heic"}},
    TypeInfo{FileType::jxl, {}, {"jxl"}},
    TypeInfo{FileType::jpeg2000, {}, {"jp2", "j2k", "jpf", "jpx"}},
    TypeInfo{FileType::ico, {}, {"ico"}},
    TypeInfo{FileType::svg, {}, {"svg", "svgz"}},
};

std::optional<FileType> typeForExtension(std::string_view extension) {
    if (extension.empty())
        return std::nullopt;
    for (const TypeInfo& info : types) {
        if (std::ranges::find(info.extensions, extension) != info.extensions.end())
            return info.type;
    }
    return std::nullopt;
}

std::optional<FileType> parentOf(FileType type) {
    for (const TypeInfo& info : types) {
        if (info.type == type)
            return info.parent;
    }
    return std::nullopt;
}

bool conforms(FileType type, FileType to) {
    for (std::optional<FileType> current = type; current; current = parentOf(*current)) {
        if (*current == to)
            return true;
    }
    return false;
}

FileType writingType(ImageFormat format) {
    switch (format) {
    case ImageFormat::jpg:
        return FileType::jpeg;
    case ImageFormat::png:
        return FileType::png;
    case ImageFormat::webp:
        return FileType::webp;
    case ImageFormat::avif:
        return FileType::avif;
    }
    return FileType::jpeg;
}

std::string lowercased(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

bool ImageSettings::operator==(const ImageSettings& other) const {
    return format == other.format && sizing == other.sizing &&
           std::bit_cast<std::uint64_t>(quality) == std::bit_cast<std::uint64_t>(other.quality);
}

ImageFormat ImageSettings::defaultFormat(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    const std::optional<FileType> type = typeForExtension(lowercased(extension));
    if (!type)
        return ImageFormat::jpg;
    for (const ImageFormat format : allCases<ImageFormat>()) {
        if (writingType(format) != *type)
            continue;
        // WebP is written by its own encoder, so it needs no question to the image library.
        if (format == ImageFormat::webp || ImageEngine::supports(format))
            return format;
    }
    for (const FileType family : {FileType::tiff, FileType::bmp, FileType::gif}) {
        if (conforms(*type, family))
            return ImageFormat::png;
    }
    return conforms(*type, FileType::png) ? ImageFormat::png : ImageFormat::jpg;
}

} // namespace quillmorph
