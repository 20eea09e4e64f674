#include "AudioEngineError.h"

#include "common/Localization.h"

namespace quillmorph {

std::string describe(const AudioEngineError& error) {
    switch (error.kind) {
    case AudioEngineError::Kind::unreadable:
        return Localization::string(Phrase::errorAudioUnreadable, {{"file", error.file.filename().string()}});
    case AudioEngineError::Kind::noAudioTrack:
        return Localization::string(Phrase::errorAudioNoTrack, {{"file", error.file.filename().string()}});
    case AudioEngineError::Kind::failed:
        return error.message.empty() ? Localization::string(Phrase::errorAudioEncoding) : error.message;
    case AudioEngineError::Kind::needsFFmpeg:
        return Localization::string(Phrase::errorAudioNeedsFfmpeg);
    }
    return {};
}

} // namespace quillmorph
