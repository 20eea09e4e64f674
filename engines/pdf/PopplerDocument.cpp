#include "PopplerDocument.h"

#include "common/Log.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#include <string>

namespace quillmorph {
namespace {

// Poppler reports damage it repairs on stderr unless told otherwise; it belongs in the log.
void logPopplerMessage(const std::string& message, void*) {
    Log::info("pdf", message);
}

void routePopplerMessages() {
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function(logPopplerMessage, nullptr); });
}

PageBox pageBox(const poppler::rectf& rectangle) {
    return {.x = rectangle.x(), .y = rectangle.y(), .width = rectangle.width(), .height = rectangle.height()};
}

int clockwiseDegrees(poppler::page::orientation_enum orientation) {
    switch (orientation) {
    case poppler::page::portrait:
        return 0;
    case poppler::page::landscape:
        return 90;
    case poppler::page::upside_down:
        return 180;
    case poppler::page::seascape:
        return 270;
    }
    return 0;
}

// The largest band rendered at once: a page of A4 or letter at 300 dpi renders whole.
constexpr std::int64_t bandPixels = 12'000'000;

// The extra rotation that cancels the page's own, so that the picture lies as in user space.
poppler::rotation_enum counterRotation(int degrees) {
    switch (degrees) {
    case 90:
        return poppler::rotate_270;
    case 180:
        return poppler::rotate_180;
    case 270:
        return poppler::rotate_90;
    default:
        return poppler::rotate_0;
    }
}

} // namespace

std::optional<PopplerDocument> PopplerDocument::open(const std::filesystem::path& file) {
    routePopplerMessages();
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(file.string()));
    if (!document || document->is_locked())
        return std::nullopt;
    return PopplerDocument(std::move(document));
}

std::optional<PageGeometry> PopplerDocument::geometry(int index) const {
    const std::unique_ptr<poppler::page> page(m_document->create_page(index));
    if (!page)
        return std::nullopt;
    return PageGeometry{.mediaBox = pageBox(page->page_rect(poppler::media_box)),
                        .cropBox = pageBox(page->page_rect(poppler::crop_box)),
                        .rotation = clockwiseDegrees(page->orientation())};
}

std::optional<RenderedPage> PopplerDocument::render(int index, const PageGeometry& geometry, PixelSize size,
                                                    RenderedPage::Tone tone) const {
    const std::unique_ptr<poppler::page> page(m_document->create_page(index));
    if (!page || size.width < 1 || size.height < 1)
        return std::nullopt;
    poppler::page_renderer renderer;
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_render_hints(poppler::page_renderer::antialiasing |
                              poppler::page_renderer::text_antialiasing);
    const auto format =
        tone == RenderedPage::Tone::gray ? poppler::image::format_gray8 : poppler::image::format_rgb24;
    renderer.set_image_format(format);
    // Separate densities per axis make the crop box come out at exactly the requested pixels.
    const double horizontal = size.width * 72.0 / geometry.cropBox.width;
    const double vertical = size.height * 72.0 / geometry.cropBox.height;
    RenderedPage rendered(size, tone);
    const std::size_t rowBytes = rendered.rowBytes();
    const int bandRows = int(std::clamp<std::int64_t>(bandPixels / size.width, 1, size.height));
    for (int top = 0; top < size.height; top += bandRows) {
        const int rows = std::min(bandRows, size.height - top);
        // A page in one band renders whole, without the slice's own rounding.
        const bool whole = rows == size.height;
        const poppler::image band = renderer.render_page(
            page.get(), horizontal, vertical, whole ? -1 : 0, whole ? -1 : top, whole ? -1 : size.width,
            whole ? -1 : rows, counterRotation(geometry.rotation));
        if (!band.is_valid() || band.format() != format || band.width() != size.width ||
            band.height() != rows)
            return std::nullopt;
        for (int row = 0; row < rows; ++row)
            std::memcpy(rendered.pixels().data() + std::size_t(top + row) * rowBytes,
                        band.const_data() + std::ptrdiff_t(row) * band.bytes_per_row(), rowBytes);
    }
    return rendered;
}

} // namespace quillmorph
