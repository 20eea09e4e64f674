#pragma once

#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>
#include <optional>

namespace quillmorph {

// The PNG candidates of one image racing for the smallest file. The palette encodings are cheap and
// report their sizes; a truecolour one compresses its rows quickly first and, once every palette has
// reported, stops there when that is half as large again as the smallest palette file: the full
// compression would have to come out a third smaller, where a fifth is the most seen (on colour-
// reduced rows). The full compression is the costly part and, on photos, never the winner.
class PNGCandidateRace {
  public:
    // `palettes` encodings will report, each exactly once.
    explicit PNGCandidateRace(int palettes) : m_pending(palettes) {}

    // A palette encoding's file size, or nothing when it made no file.
    void report(std::optional<std::size_t> size);

    // False once every palette has reported and none made a file: then nothing is worth a quick try.
    [[nodiscard]] bool rivalPossible();

    // Waits until every palette has reported; whether rows whose quick compression came to
    // `quickSize` bytes cannot beat the smallest of them.
    [[nodiscard]] bool outOfReach(std::size_t quickSize);

  private:
    std::mutex m_mutex;
    std::condition_variable m_reported;
    int m_pending;
    std::size_t m_smallest = std::numeric_limits<std::size_t>::max();
};

} // namespace quillmorph
