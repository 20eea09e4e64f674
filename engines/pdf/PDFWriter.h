#pragma once

#include "PageGeometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quillmorph {

// Writes a PDF 1.4 file of picture pages, one page at a time: each page is one JPEG image
// XObject, embedded unchanged (/DCTDecode), drawn over a rectangle of the page. Memory holds the
// file written so far and nothing of a page once it is added; the file is kept in pieces and joined
// once, so it never sits in memory twice.
class PDFWriter {
  public:
    // The /Info dictionary: Creator, Title, Author and Subject empty, or only a Producer entry.
    enum class Information { blank, producer };

    struct Page {
        PageBox mediaBox;
        PageBox pictureBox; // where the picture is drawn; written as /CropBox when not the media box
        int rotation = 0;   // /Rotate, a multiple of 90
        std::span<const std::uint8_t> jpeg;
    };

    explicit PDFWriter(Information information);

    // Appends the page. False, with nothing written, when the JPEG has no usable frame header or
    // its component count has no PDF colour space (1 gray, 3 RGB), when a box is not finite with a
    // positive size, or when the rotation is not a multiple of 90.
    [[nodiscard]] bool addPage(const Page& page);
    [[nodiscard]] int pageCount() const { return int(m_pageObjects.size()); }

    // The complete file: the page tree, the cross-reference table and the trailer appended. Nothing
    // when the file outgrows the table's ten-digit byte offsets.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> finish() &&;

  private:
    int beginObject(std::optional<int> number = std::nullopt);
    void append(std::string_view text);
    void append(std::span<const std::uint8_t> bytes);

    std::vector<std::vector<std::uint8_t>> m_pieces; // the file so far, in order
    std::size_t m_size = 0;
    std::vector<std::size_t> m_offsets; // byte offset of object n at index n - 1
    std::vector<int> m_pageObjects;
};

} // namespace quillmorph
