#pragma once

#include <string>

namespace quillmorph {

// The errors of saving poster frames.
struct PosterError {
    enum class Kind {
        beyondEnd,    // the time lies past the end of the (single) video
        invalidTime,  // the typed time is no time
        noFrame,      // no frame could be taken or written
        launchFailed, // ffmpeg could not be started; `message` is the system's reason
    };

    Kind kind = Kind::noFrame;
    double duration = 0; // beyondEnd: the video's duration in seconds
    std::string message;

    static PosterError beyondEnd(double duration) { return {Kind::beyondEnd, duration, {}}; }
    static PosterError invalidTime() { return {Kind::invalidTime, 0, {}}; }
    static PosterError noFrame() { return {Kind::noFrame, 0, {}}; }
    static PosterError launchFailed(std::string message) {
        return {Kind::launchFailed, 0, std::move(message)};
    }

    bool operator==(const PosterError&) const = default;
};

// The text shown to the user, in the current language.
[[nodiscard]] std::string describe(const PosterError& error);

} // namespace quillmorph
