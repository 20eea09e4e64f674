#pragma once

#include <filesystem>
#include <string>

namespace quillmorph {

struct PDFEngineError {
    enum class Kind { unreadable, renderFailed, encodingFailed };

    Kind kind = Kind::renderFailed;
    std::filesystem::path file; // unreadable

    static PDFEngineError unreadable(std::filesystem::path file) {
        return {.kind = Kind::unreadable, .file = std::move(file)};
    }
    static PDFEngineError renderFailed() { return {.kind = Kind::renderFailed, .file = {}}; }
    static PDFEngineError encodingFailed() { return {.kind = Kind::encodingFailed, .file = {}}; }

    bool operator==(const PDFEngineError&) const = default;
};

// The catalogue phrase for the error, in the current language.
[[nodiscard]] std::string describe(const PDFEngineError& error);

} // namespace quillmorph
