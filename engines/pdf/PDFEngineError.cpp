#include "PDFEngineError.h"

#include "common/Localization.h"

namespace quillmorph {

std::string describe(const PDFEngineError& error) {
    switch (error.kind) {
    case PDFEngineError::Kind::unreadable:
        return Localization::string(Phrase::errorPdfUnreadable, {{"file", error.file.filename().string()}});
    case PDFEngineError::Kind::renderFailed:
    case PDFEngineError::Kind::encodingFailed:
        return Localization::string(Phrase::errorPdfEncoding);
    }
    return {};
}

} // namespace quillmorph
