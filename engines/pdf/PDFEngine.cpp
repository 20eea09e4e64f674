#include "PDFEngine.h"

#include "LargeBufferHeap.h"
#include "PDFWriter.h"
#include "PageEncoder.h"
#include "PageMemoryBudget.h"
#include "PopplerDocument.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace quillmorph::PDFEngine {
namespace {

// Pages render on this many threads, each over its own copy of the document (a poppler document
// is not thread-safe). Memory grows by one page's bitmap per thread.
constexpr int rendererLimit = 2;

// Pages from this size on hand their freed memory back to the system when done.
constexpr std::int64_t trimmedPixels = 4'000'000;

struct EncodedPage {
    PageGeometry geometry;
    std::vector<std::uint8_t> jpeg;
};

// Hands page indices to the renderers in order and writes the pages in that order. A renderer
// may not run more than `window` pages ahead of the writer, so few finished pages ever wait.
class PageSequence {
  public:
    PageSequence(int pageCount, int window, PDFWriter& writer)
        : m_writer(writer), m_pageCount(pageCount), m_window(window) {}

    // The next page to render; nothing once every page is handed out or the run has stopped.
    std::optional<int> claim() {
        std::unique_lock lock(m_mutex);
        m_advanced.wait(lock,
                        [&] { return m_stopped || m_next >= m_pageCount || m_next < m_written + m_window; });
        if (m_stopped || m_next >= m_pageCount)
            return std::nullopt;
        return m_next++;
    }

    // The page rendered for `index`, or nothing when it is left out.
    void deliver(int index, std::optional<EncodedPage> page) {
        std::lock_guard lock(m_mutex);
        m_finished.emplace(index, std::move(page));
        for (auto next = m_finished.begin(); next != m_finished.end() && next->first == m_written;
             next = m_finished.erase(next), ++m_written) {
            if (const std::optional<EncodedPage>& finished = next->second) {
                // A JPEG without a usable frame header drops the page, like a failed render.
                (void)m_writer.addPage({.mediaBox = finished->geometry.mediaBox,
                                        .pictureBox = finished->geometry.cropBox,
                                        .rotation = finished->geometry.rotation,
                                        .jpeg = finished->jpeg});
            }
        }
        m_advanced.notify_all();
    }

    // Out of memory: no page is handed out any more.
    void stop() {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_advanced.notify_all();
    }

    [[nodiscard]] bool stopped() {
        std::lock_guard lock(m_mutex);
        return m_stopped;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_advanced;
    PDFWriter& m_writer;
    const int m_pageCount;
    const int m_window;
    int m_next = 0;
    int m_written = 0;
    bool m_stopped = false;
    std::map<int, std::optional<EncodedPage>> m_finished;
};

// In gray when asked, in colour when not or when the gray rendering fails.
std::optional<RenderedPage> render(const PopplerDocument& document, int index, const PageGeometry& geometry,
                                   PixelSize size, const PDFSettings& settings) {
    if (settings.grayscale) {
        if (std::optional<RenderedPage> gray =
                document.render(index, geometry, size, RenderedPage::Tone::gray))
            return gray;
    }
    return document.render(index, geometry, size, RenderedPage::Tone::color);
}

std::optional<std::vector<std::uint8_t>> picture(const PopplerDocument& document, int index,
                                                 const PageGeometry& geometry, PixelSize size,
                                                 const PDFSettings& settings) {
    std::optional<RenderedPage> page = render(document, index, geometry, size, settings);
    if (!page)
        return std::nullopt;
    return PageEncoder::encode(*page, settings.imageQuality);
}

std::optional<EncodedPage> encodePage(const PopplerDocument& document, int index,
                                      const PDFSettings& settings) {
    const std::optional<PageGeometry> geometry = document.geometry(index);
    if (!geometry)
        return std::nullopt;
    // Poppler renders the crop box, so its size sets the pixels; it is the media box on most pages.
    const PixelSize size = pixelSize(geometry->cropBox, dpi(settings.resolution));
    const std::int64_t pixels = std::int64_t(size.width) * std::int64_t(size.height);
    const PageMemoryBudget::Lease lease = PageMemoryBudget::shared().reserve(pixels);
    std::optional<std::vector<std::uint8_t>> jpeg = picture(document, index, *geometry, size, settings);
    // What a renderer frees stays in its thread's heap until handed back: after large pages, the
    // heaps of every renderer of every document would add up.
    if (pixels > trimmedPixels)
        LargeBufferHeap::trim();
    if (!jpeg)
        return std::nullopt;
    return EncodedPage{.geometry = *geometry, .jpeg = std::move(*jpeg)};
}

void renderPages(const PopplerDocument& document, const PDFSettings& settings, PageSequence& sequence) {
    try {
        while (const std::optional<int> index = sequence.claim())
            sequence.deliver(*index, encodePage(document, *index, settings));
    } catch (const std::bad_alloc&) {
        sequence.stop();
    }
}

int rendererCount(int pageCount) {
    const int processors = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, std::min({rendererLimit, processors, pageCount}));
}

// The renderers: this thread over `document`, the others over documents of their own. A renderer
// that cannot start leaves its share to the others.
void renderAll(const std::filesystem::path& file, const PopplerDocument& document,
               const PDFSettings& settings, PageSequence& sequence, int renderers) {
    std::vector<std::jthread> helpers;
    try {
        for (int helper = 1; helper < renderers; ++helper) {
            helpers.emplace_back([&] {
                std::optional<PopplerDocument> own;
                try {
                    own = PopplerDocument::open(file);
                } catch (const std::bad_alloc&) {
                }
                if (own)
                    renderPages(*own, settings, sequence);
            });
        }
    } catch (const std::system_error&) {
    }
    renderPages(document, settings, sequence);
}

} // namespace

tl::expected<std::vector<std::uint8_t>, PDFEngineError> compress(const std::filesystem::path& file,
                                                                 const PDFSettings& settings) {
    // Anything but a regular file (a FIFO, a device) could block the reader forever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return tl::unexpected(PDFEngineError::unreadable(file));
    const LargeBufferHeap heap;
    try {
        const std::optional<PopplerDocument> document = PopplerDocument::open(file);
        if (!document)
            return tl::unexpected(PDFEngineError::unreadable(file));

        PDFWriter writer(settings.optimize ? PDFWriter::Information::blank
                                           : PDFWriter::Information::producer);
        const int renderers = rendererCount(document->pageCount());
        PageSequence sequence(document->pageCount(), renderers, writer);
        renderAll(file, *document, settings, sequence, renderers);
        if (sequence.stopped())
            return tl::unexpected(PDFEngineError::renderFailed());
        // A PDF without pages is no result, though a valid file.
        if (writer.pageCount() == 0)
            return tl::unexpected(PDFEngineError::encodingFailed());
        std::optional<std::vector<std::uint8_t>> bytes = std::move(writer).finish();
        if (!bytes)
            return tl::unexpected(PDFEngineError::encodingFailed());
        return std::move(*bytes);
    } catch (const std::bad_alloc&) {
        return tl::unexpected(PDFEngineError::renderFailed());
    }
}

PixelSize pixelSize(const PageBox& box, int dpi) {
    const double width = box.width * dpi / 72.0, height = box.height * dpi / 72.0;
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
        return {};
    const double shrink =
        std::min({1.0, std::sqrt(maxPagePixels / (width * height)), maxPageSide / std::max(width, height)});
    if (shrink < 1)
        return {.width = int(std::floor(width * shrink)), .height = int(std::floor(height * shrink))};
    return {.width = int(std::lround(width)), .height = int(std::lround(height))};
}

} // namespace quillmorph::PDFEngine
