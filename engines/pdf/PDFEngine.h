#pragma once

#include "PDFEngineError.h"
#include "PDFSettings.h"
#include "PageGeometry.h"

#include <cstdint>
#include <filesystem>
#include <tl/expected.hpp>
#include <vector>

// Shrinks a PDF by re-rendering every page as one JPEG picture. Text, vector graphics, links,
// annotations and outlines are not carried over. Stateless; calls may run on any threads at once.
namespace quillmorph::PDFEngine {

// Pages larger than this are rendered at a lower density, so that a page's bitmap stays bounded
// (150 MB of RGB; a letter page at 300 dpi is 8.4 megapixels).
inline constexpr double maxPagePixels = 50'000'000;
// Pixels of the pages rendering at once across every compression in the process: a page at the cap
// renders alone, letter pages at 300 dpi six at a time. A page costs about 7 bytes a pixel while it renders.
inline constexpr double pageMemoryBudget = 50'000'000;
// The largest side a JPEG frame header can state is 65 535.
inline constexpr double maxPageSide = 65'000;

// The new PDF: one page per source page that rendered, in order, each with the source's media
// box, crop box and rotation, showing the visible page as a JPEG at settings.imageQuality.
// Document information holds empty Creator, Title, Author and Subject with settings.optimize,
// else only a Producer; nothing of the source's metadata is copied. Pages that cannot be loaded,
// rendered or encoded are left out. Fails with unreadable(file) for anything that is not a
// regular file opening as a PDF without a password, encodingFailed when no page could be written,
// renderFailed when memory runs out.
[[nodiscard]] tl::expected<std::vector<std::uint8_t>, PDFEngineError>
compress(const std::filesystem::path& file, const PDFSettings& settings);

// The pixel size a page box renders at: points × dpi / 72 each way, rounded half away from zero.
// A box beyond maxPagePixels or maxPageSide gets the largest size within both at its aspect ratio
// (rounded down). 0 × 0 for a box that is empty or not finite.
[[nodiscard]] PixelSize pixelSize(const PageBox& box, int dpi);

} // namespace quillmorph::PDFEngine
