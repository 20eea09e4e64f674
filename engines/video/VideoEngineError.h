#pragma once

#include <filesystem>
#include <string>

namespace quillmorph {

// The errors of probing and encoding video, by either engine.
struct VideoEngineError {
    enum class Kind {
        probeFailed,    // the probe could not read the file
        noVideoStream,  // the file has no video stream
        encodeFailed,   // ffmpeg failed; `message` is the last line of its error output
        encodingFailed, // the in-process engine failed; `message` says how
        needsFFmpeg,    // the job needs ffmpeg, for `missing`
        toolMissing,    // ffmpeg or ffprobe is not installed
        cancelled,
        launchFailed, // a program could not be started; `message` is the system's reason
    };
    // What ffmpeg would be needed for.
    enum class Missing { hdr, container };

    Kind kind = Kind::cancelled;
    std::filesystem::path file; // the source, where the text names it
    std::string message;
    Missing missing = Missing::hdr;

    static VideoEngineError probeFailed(std::filesystem::path file) {
        return make(Kind::probeFailed, std::move(file));
    }
    static VideoEngineError noVideoStream(std::filesystem::path file) {
        return make(Kind::noVideoStream, std::move(file));
    }
    static VideoEngineError encodeFailed(std::filesystem::path file, std::string message) {
        return make(Kind::encodeFailed, std::move(file), std::move(message));
    }
    static VideoEngineError encodingFailed(std::filesystem::path file, std::string message) {
        return make(Kind::encodingFailed, std::move(file), std::move(message));
    }
    static VideoEngineError needsFFmpeg(Missing missing) { return make(Kind::needsFFmpeg, {}, {}, missing); }
    static VideoEngineError toolMissing() { return make(Kind::toolMissing); }
    static VideoEngineError cancelled() { return make(Kind::cancelled); }
    static VideoEngineError launchFailed(std::string message) {
        return make(Kind::launchFailed, {}, std::move(message));
    }

    bool operator==(const VideoEngineError&) const = default;

  private:
    static VideoEngineError make(Kind kind, std::filesystem::path file = {}, std::string message = {},
                                 Missing missing = Missing::hdr) {
        return {kind, std::move(file), std::move(message), missing};
    }
};

// The text shown to the user, in the current language. encodeFailed and encodingFailed show their
// message, or the generic encoding phrase naming the file when the message is empty.
[[nodiscard]] std::string describe(const VideoEngineError& error);

} // namespace quillmorph
