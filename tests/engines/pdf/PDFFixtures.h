#pragma once

#include "engines/pdf/PDFWriter.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Real PDF and JPEG files for the PDF tests, and what the poppler and qpdf tools say about them.
namespace quillmorph::testing {

// A JPEG (quality 90) of a white picture whose top-left quarter is black: where it lands on a page
// shows whether it was placed, scaled and turned right.
[[nodiscard]] std::vector<std::uint8_t> quarterJPEG(const std::filesystem::path& directory, int width,
                                                    int height);

// A PDF from our writer: one page per entry, each showing `jpeg`.
void writePDF(const std::filesystem::path& file, const std::vector<PDFWriter::Page>& pages);

// Two pages Ghostscript makes (the first of letter size, the second cropped) with text, a link, an
// outline, three pictures and document information, made once per binary (Ghostscript is slow) in a
// folder the tests share: what they derive goes elsewhere.
[[nodiscard]] std::filesystem::path reportPDF();

struct PageFacts {
    PageBox mediaBox;
    PageBox cropBox;
    int rotation = 0;
    bool operator==(const PageFacts&) const = default;
};
// Per page, as qpdf reads them (rotation from 0 to 270).
[[nodiscard]] std::vector<PageFacts> pageFacts(const std::filesystem::path& file);

struct EmbeddedImage {
    int page = 0;
    int width = 0;
    int height = 0;
    std::string color; // "gray", "rgb", …
    std::string encoding;
};
// Every image of the file, as pdfimages -list reports them.
[[nodiscard]] std::vector<EmbeddedImage> embeddedImages(const std::filesystem::path& file);

// The mean absolute difference of two pages as pdftoppm renders them in gray at `dpi` (crop box,
// rotation applied); 255 when their sizes differ.
[[nodiscard]] double pageDifference(const std::filesystem::path& first, int firstPage,
                                    const std::filesystem::path& second, int secondPage, int dpi);

// qpdf --check passes without a warning.
void expectClean(const std::filesystem::path& file);

} // namespace quillmorph::testing
