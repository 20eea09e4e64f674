#include "engines/image/PNGCandidateRace.h"

#include <algorithm>

namespace quillmorph {

void PNGCandidateRace::Entry::send(std::optional<std::size_t> size) {
    if (m_race)
        m_race->report(size);
    m_race = nullptr;
}

void PNGCandidateRace::report(std::optional<std::size_t> size) {
    {
        std::lock_guard lock(m_mutex);
        if (size)
            m_smallest = std::min(m_smallest, *size);
        --m_pending;
    }
    m_reported.notify_all();
}

bool PNGCandidateRace::rivalPossible() {
    std::lock_guard lock(m_mutex);
    return m_pending > 0 || m_smallest != std::numeric_limits<std::size_t>::max();
}

std::optional<std::size_t> PNGCandidateRace::smallestPalette() {
    std::unique_lock lock(m_mutex);
    m_reported.wait(lock, [&] { return m_pending <= 0; });
    if (m_smallest == std::numeric_limits<std::size_t>::max())
        return std::nullopt;
    return m_smallest;
}

} // namespace quillmorph
