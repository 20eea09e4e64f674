#include "PosterError.h"

#include "common/Localization.h"

namespace quillmorph {

std::string describe(const PosterError& error) {
    switch (error.kind) {
    case PosterError::Kind::beyondEnd:
        return Localization::string(Phrase::errorPosterBeyondEnd);
    case PosterError::Kind::invalidTime:
        return Localization::string(Phrase::errorPosterTime);
    case PosterError::Kind::noFrame:
        return Localization::string(Phrase::errorPosterFrame);
    case PosterError::Kind::launchFailed:
        return error.message;
    }
    return {};
}

} // namespace quillmorph
