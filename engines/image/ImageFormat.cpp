#include "ImageFormat.h"

namespace quillmorph {

std::string_view label(ImageFormat format) {
    switch (format) {
    case ImageFormat::jpg:
        return "JPG";
    case ImageFormat::png:
        return "PNG";
    case ImageFormat::webp:
        return "WebP";
    case ImageFormat::avif:
        return "AVIF";
    }
    return {};
}

Phrase detailPhrase(ImageFormat format) {
    switch (format) {
    case ImageFormat::jpg:
        return Phrase::formatJpgDetail;
    case ImageFormat::png:
        return Phrase::formatPngDetail;
    case ImageFormat::webp:
        return Phrase::formatWebpDetail;
    case ImageFormat::avif:
        return Phrase::formatAvifDetail;
    }
    return Phrase::formatJpgDetail;
}

} // namespace quillmorph
