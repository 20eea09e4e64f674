#include "VideoEngineError.h"

#include "common/Localization.h"

namespace quillmorph {
namespace {

std::string named(Phrase phrase, const std::filesystem::path& file) {
    return Localization::string(phrase, {{"file", file.filename().string()}});
}

Phrase needsFFmpegPhrase(VideoEngineError::Missing missing) {
    switch (missing) {
    case VideoEngineError::Missing::hdr:
        return Phrase::errorVideoHdrNeedsFfmpeg;
    case VideoEngineError::Missing::container:
        return Phrase::errorVideoWebmNeedsFfmpeg;
    }
    return Phrase::errorVideoWebmNeedsFfmpeg;
}

std::string messageOrGeneric(const VideoEngineError& error) {
    return error.message.empty() ? named(Phrase::errorVideoEncoding, error.file) : error.message;
}

} // namespace

std::string describe(const VideoEngineError& error) {
    switch (error.kind) {
    case VideoEngineError::Kind::probeFailed:
        return named(Phrase::errorVideoUnreadable, error.file);
    case VideoEngineError::Kind::noVideoStream:
        return named(Phrase::errorVideoNoTrack, error.file);
    case VideoEngineError::Kind::encodeFailed:
    case VideoEngineError::Kind::encodingFailed:
        return messageOrGeneric(error);
    case VideoEngineError::Kind::needsFFmpeg:
        return Localization::string(needsFFmpegPhrase(error.missing));
    case VideoEngineError::Kind::toolMissing:
        return Localization::string(Phrase::errorVideoFfmpeg);
    case VideoEngineError::Kind::cancelled:
        return Localization::string(Phrase::errorVideoCancelled);
    case VideoEngineError::Kind::launchFailed:
        return error.message;
    }
    return {};
}

} // namespace quillmorph
