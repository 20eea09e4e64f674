#pragma once

#include "ImageFormat.h"

#include <filesystem>
#include <string>

namespace quillmorph {

struct ImageEngineError {
    enum class Kind { unreadable, tooLarge, unsupportedOutput, encodingFailed, renderFailed };

    Kind kind = Kind::renderFailed;
    std::filesystem::path file;            // unreadable, tooLarge
    ImageFormat format = ImageFormat::jpg; // unsupportedOutput, encodingFailed

    static ImageEngineError unreadable(std::filesystem::path file) {
        return {.kind = Kind::unreadable, .file = std::move(file)};
    }
    static ImageEngineError tooLarge(std::filesystem::path file) {
        return {.kind = Kind::tooLarge, .file = std::move(file)};
    }
    static ImageEngineError unsupportedOutput(ImageFormat format) {
        return {.kind = Kind::unsupportedOutput, .format = format};
    }
    static ImageEngineError encodingFailed(ImageFormat format) {
        return {.kind = Kind::encodingFailed, .format = format};
    }
    static ImageEngineError renderFailed() { return {.kind = Kind::renderFailed}; }

    bool operator==(const ImageEngineError&) const = default;
};

// The catalogue phrase for the error, in the current language; for tooLarge the system's text after
// the file name, as for a failed write ("bomb.png: File too large").
[[nodiscard]] std::string describe(const ImageEngineError& error);

} // namespace quillmorph
