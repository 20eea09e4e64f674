#include "PageMemoryBudget.h"

#include "PDFEngine.h"

#include <algorithm>

namespace quillmorph {

PageMemoryBudget::Lease::~Lease() {
    m_budget.release(m_pixels);
}

PageMemoryBudget& PageMemoryBudget::shared() {
    static PageMemoryBudget budget(std::int64_t(PDFEngine::pageMemoryBudget));
    return budget;
}

PageMemoryBudget::Lease PageMemoryBudget::reserve(std::int64_t pixels) {
    pixels = std::clamp<std::int64_t>(pixels, 0, m_total);
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [&] { return m_available >= pixels; });
    m_available -= pixels;
    return Lease(*this, pixels);
}

void PageMemoryBudget::release(std::int64_t pixels) {
    {
        std::lock_guard lock(m_mutex);
        m_available += pixels;
    }
    m_released.notify_all();
}

} // namespace quillmorph
