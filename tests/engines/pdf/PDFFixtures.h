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
                                                    int height, bool gray = false);

// A PDF from our writer: one page per entry, each showing `jpeg`.
void writePDF(const std::filesystem::path& file, const std::vector<PDFWriter::Page>& pages);

// A PDF made by Ghostscript's pdfwrite from a PostScript program.
void ghostscriptPDF(const std::filesystem::path& file, const std::string& postscript);

struct PageFacts {
    PageBox mediaBox;
    PageBox cropBox;
    int rotation = 0;
};
// Per page, as pdfinfo reports it (boxes to two decimals).
[[nodiscard]] std::vector<PageFacts> pageFacts(const std::filesystem::path& file);

struct EmbeddedImage {
    int page = 0;
    int width = 0;
    int height = 0;
    std::string color; // "gray", "rgb", …
    std::string encoding;
    int xPpi = 0; // pixels per inch as drawn on the page
    int yPpi = 0;
};
// Every image of the file, as pdfimages -list reports them.
[[nodiscard]] std::vector<EmbeddedImage> embeddedImages(const std::filesystem::path& file);

struct GrayRaster {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> samples;
};
// One page as pdftoppm renders it in gray at `dpi` (crop box, rotation applied).
[[nodiscard]] GrayRaster renderPage(const std::filesystem::path& file, int page, int dpi);

// The mean absolute difference of two rasters of one size; 255 when the sizes differ.
[[nodiscard]] double meanDifference(const GrayRaster& first, const GrayRaster& second);

[[nodiscard]] std::vector<std::uint8_t> readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

} // namespace quillmorph::testing
