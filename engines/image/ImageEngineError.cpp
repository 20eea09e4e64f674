#include "ImageEngineError.h"

#include "common/Localization.h"

#include <system_error>

namespace quillmorph {

std::string describe(const ImageEngineError& error) {
    const std::string format{label(error.format)};
    switch (error.kind) {
    case ImageEngineError::Kind::unreadable:
        return Localization::string(Phrase::errorImageUnreadable, {{"file", error.file.filename().string()}});
    case ImageEngineError::Kind::tooLarge:
        return error.file.filename().string() + ": " +
               std::make_error_code(std::errc::file_too_large).message();
    case ImageEngineError::Kind::unsupportedOutput:
        return Localization::string(Phrase::errorImageUnsupported, {{"format", format}});
    case ImageEngineError::Kind::encodingFailed:
        return Localization::string(Phrase::errorImageEncoding, {{"format", format}});
    case ImageEngineError::Kind::renderFailed:
        return Localization::string(Phrase::errorImageDraw);
    }
    return {};
}

} // namespace quillmorph
