#pragma once

#include "ImageFormat.h"

#include <filesystem>
#include <string>

namespace quillmorph {

struct ImageEngineError {
    enum class Kind { unreadable, unsupportedOutput, encodingFailed, renderFailed };

    Kind kind = Kind::renderFailed;
    std::filesystem::path file;            // unreadable
    ImageFormat format = ImageFormat::jpg; // unsupportedOutput, encodingFailed

    static ImageEngineError unreadable(std::filesystem::path file) {
        return {.kind = Kind::unreadable, .file = std::move(file)};
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

// The catalogue phrase for the error, in the current language.
[[nodiscard]] std::string describe(const ImageEngineError& error);

} // namespace quillmorph
