#pragma once

#include "PageGeometry.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <poppler-document.h>
#include <poppler-image.h>
#include <span>

namespace quillmorph {

// A page rendered on white paper, rows from the top: 8-bit RGB triplets or 8-bit gray samples.
class RenderedPage {
  public:
    enum class Tone { color, gray };

    RenderedPage(poppler::image image, Tone tone) : m_image(std::move(image)), m_tone(tone) {}

    [[nodiscard]] Tone tone() const { return m_tone; }
    [[nodiscard]] int width() const { return m_image.width(); }
    [[nodiscard]] int height() const { return m_image.height(); }
    // Bytes from one row to the next: at least width × samples a pixel, padded to a multiple of 4.
    [[nodiscard]] int stride() const { return m_image.bytes_per_row(); }
    // stride × height bytes, writable so that conversions can work in place.
    [[nodiscard]] std::span<std::uint8_t> pixels();

  private:
    poppler::image m_image;
    Tone m_tone;
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
    // Nothing when the page cannot be loaded or rendered.
    [[nodiscard]] std::optional<RenderedPage> render(int index, const PageGeometry& geometry, PixelSize size,
                                                     RenderedPage::Tone tone) const;

  private:
    explicit PopplerDocument(std::unique_ptr<poppler::document> document) : m_document(std::move(document)) {}

    std::unique_ptr<poppler::document> m_document;
};

} // namespace quillmorph
