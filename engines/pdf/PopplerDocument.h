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

// A page rendered on white paper: 32-bit pixels 0xAARRGGBB in native byte order, rows from the top.
class RenderedPage {
  public:
    explicit RenderedPage(poppler::image image) : m_image(std::move(image)) {}

    [[nodiscard]] int width() const { return m_image.width(); }
    [[nodiscard]] int height() const { return m_image.height(); }
    [[nodiscard]] int stride() const { return m_image.bytes_per_row(); }
    // stride × height bytes, writable so that conversions can work in place.
    [[nodiscard]] std::span<std::uint8_t> pixels();

  private:
    poppler::image m_image;
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
    [[nodiscard]] std::optional<RenderedPage> render(int index, const PageGeometry& geometry,
                                                     PixelSize size) const;

  private:
    explicit PopplerDocument(std::unique_ptr<poppler::document> document) : m_document(std::move(document)) {}

    std::unique_ptr<poppler::document> m_document;
};

} // namespace quillmorph
