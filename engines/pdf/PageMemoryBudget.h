#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace quillmorph {

// The page bitmaps that may exist at once across every PDF compression running in the process, in pixels:
// a renderer reserves its page's pixels before rendering and returns them once the page is encoded, waiting
// while others hold the budget. A page larger than the whole budget takes all of it.
class PageMemoryBudget {
  public:
    // Returns its pixels to the budget when destroyed.
    class Lease {
      public:
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();

      private:
        friend class PageMemoryBudget;
        Lease(PageMemoryBudget& budget, std::int64_t pixels) : m_budget(budget), m_pixels(pixels) {}

        PageMemoryBudget& m_budget;
        std::int64_t m_pixels;
    };

    explicit PageMemoryBudget(std::int64_t pixels) : m_available(pixels), m_total(pixels) {}

    // The one budget every compression shares.
    static PageMemoryBudget& shared();

    // Blocks until `pixels` (at most the whole budget) are free and reserves them.
    [[nodiscard]] Lease reserve(std::int64_t pixels);

  private:
    void release(std::int64_t pixels);

    std::mutex m_mutex;
    std::condition_variable m_released;
    std::int64_t m_available;
    const std::int64_t m_total;
};

} // namespace quillmorph
