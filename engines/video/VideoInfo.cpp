#include "VideoInfo.h"

#include "common/Localization.h"

#include <cmath>

namespace quillmorph {

std::string VideoInfo::durationLabel() const {
    // Durations come from probes and are finite; anything else reads as nothing.
    long long seconds = std::isfinite(duration) && std::fabs(duration) < 1e15 ? std::llround(duration) : 0;
    if (seconds < 60)
        return Localization::string(Phrase::durationSeconds, {{"s", std::to_string(seconds)}});
    return Localization::string(Phrase::durationMinutes,
                                {{"m", std::to_string(seconds / 60)}, {"s", std::to_string(seconds % 60)}});
}

} // namespace quillmorph
