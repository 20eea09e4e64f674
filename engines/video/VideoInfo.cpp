#include "VideoInfo.h"

#include <cmath>

namespace quillmorph {

std::string VideoInfo::durationLabel() const {
    // Durations come from probes and are finite; anything else reads as nothing.
    long long seconds = std::isfinite(duration) && std::fabs(duration) < 1e15 ? std::llround(duration) : 0;
    if (seconds < 60)
        return std::to_string(seconds) + "s";
    return std::to_string(seconds / 60) + "m " + std::to_string(seconds % 60) + "s";
}

} // namespace quillmorph
