#pragma once

#include "PageGeometry.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <poppler-document.h>
#include <span>
#include <vector>

namespace quillmorph {

// A page rendered on white paper, rows from the top without padding: 8-bit RGB triplets or 8-bit
// gray samples.
class RenderedPage {
  public:
    enum class Tone { color, gray };

    RenderedPage(PixelSize size, Tone tone)
        : m_size(size), m_tone(tone),
          m_pixels(std::size_t(size.width) * std::size_t(size.height) * (tone == Tone::gray ? 1 : 3)) {}

    [[nodiscard]] Tone tone() const { return m_tone; }
    [[nodiscard]] int width() const { return m_size.width; }
    [[nodiscard]] int height() const { return m_size.height; }
    [[nodiscard]] std::size_t rowBytes() const { return m_pixels.size() / std::size_t(m_size.height); }
    [[nodiscard]] std::span<std::uint8_t> pixels() { return m_pixels; }

  private:
    PixelSize m_size;
    Tone m_tone;
    std::vector<std::uint8_t> m_pixels;
};

// One open PDF document. Not thread-safe: concurrent renderers open a document each.
class PopplerDocument {
  public:
    // Nothing when the file is not a readable PDF or needs a password to open.
    [[nodiscard]] static std::optional<PopplerDocument> open(const std::filesystem::path& file);

    [[nodiscard]] int pageCount() const { return m_document->pages(); }
    // Nothing when the page cannot be loaded.
    [[nodiscard]] std::optional<PageGeometry> geometry(int index) const;
    // The page's crop box as it lies in unrotated user space, at exactly `size` pixels, antialiased.
    // A large page renders in bands, so that the renderer's own bitmap stays small beside the page's.
    // Nothing when the page cannot be loaded or rendered.
    [[nodiscard]] std::optional<RenderedPage> render(int index, const PageGeometry& geometry, PixelSize size,
                                                     RenderedPage::Tone tone) const;

  private:
    explicit PopplerDocument(std::unique_ptr<poppler::document> document) : m_document(std::move(document)) {}

    std::unique_ptr<poppler::document> m_document;
};

} // namespace quillmorph
