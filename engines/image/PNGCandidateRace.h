#pragma once

#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>
#include <optional>

namespace quillmorph {

// The PNG candidates of one image racing for the smallest file. The palette encodings are cheap and
// report their sizes; a truecolour one compresses its rows quickly first and, once every palette has
// reported, stops there when it cannot beat the smallest palette file. The full compression is the
// costly part and, on photos, never the winner.
class PNGCandidateRace {
  public:
    // One palette encoding's place in a race: it reports exactly once, as sent, or as no file when
    // the entry goes out of scope unsent (an exception included). Without a race it does nothing.
    class Entry {
      public:
        explicit Entry(PNGCandidateRace* race) : m_race(race) {}
        ~Entry() { send(std::nullopt); }
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

        [[nodiscard]] PNGCandidateRace* race() const { return m_race; }
        // A file's size, or nothing when it made no file; later calls do nothing.
        void send(std::optional<std::size_t> size);

      private:
        PNGCandidateRace* m_race;
    };

    // `palettes` entries will report.
    explicit PNGCandidateRace(int palettes) : m_pending(palettes) {}

    // False once every palette has reported and none made a file: then nothing is worth a quick try.
    [[nodiscard]] bool rivalPossible();

    // Waits until every palette has reported; the smallest file among them, nothing when none made one.
    [[nodiscard]] std::optional<std::size_t> smallestPalette();

  private:
    void report(std::optional<std::size_t> size);

    std::mutex m_mutex;
    std::condition_variable m_reported;
    int m_pending;
    std::size_t m_smallest = std::numeric_limits<std::size_t>::max();
};

} // namespace quillmorph
