#include "PDFWriter.h"

#include "JPEGHeader.h"
#include "common/Bundle.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace quillmorph {
namespace {

constexpr int catalogObject = 1;
constexpr int pageTreeObject = 2;
constexpr int informationObject = 3;

// A cross-reference entry holds its offset in ten digits (ISO 32000-1, 7.5.4).
constexpr std::size_t largestOffset = 9'999'999'999;

// PDF numbers have no exponent form (ISO 32000-1, 7.3.3): the shortest fixed-point text that reads
// back as the same double.
std::string number(double value) {
    if (value == 0)
        return "0";
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return {buffer, result.ptr};
}

std::string rectangle(const PageBox& box) {
    return "[" + number(box.x) + " " + number(box.y) + " " + number(box.x + box.width) + " " +
           number(box.y + box.height) + "]";
}

bool isUsable(const PageBox& box) {
    return std::isfinite(box.x) && std::isfinite(box.y) && std::isfinite(box.width) &&
           std::isfinite(box.height) && std::isfinite(box.x + box.width) &&
           std::isfinite(box.y + box.height) && box.width > 0 && box.height > 0;
}

std::optional<std::string_view> colorSpace(int components) {
    switch (components) {
    case 1:
        return "/DeviceGray";
    case 3:
        return "/DeviceRGB";
    default:
        return std::nullopt;
    }
}

std::string informationDictionary(PDFWriter::Information information) {
    switch (information) {
    case PDFWriter::Information::blank:
        return "<< /Creator () /Title () /Author () /Subject () >>";
    case PDFWriter::Information::producer:
        return "<< /Producer (Quillmorph " + std::string(Bundle::version()) + ") >>";
    }
    return {};
}

} // namespace

PDFWriter::PDFWriter(Information information) : m_offsets(informationObject, 0) {
    // The comment's bytes above 127 mark the file as binary for transfer programs (7.5.2).
    append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    beginObject(catalogObject);
    append("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    beginObject(informationObject);
    append(informationDictionary(information) + "\nendobj\n");
}

bool PDFWriter::addPage(const Page& page) {
    const std::optional<JPEGHeader> header = JPEGHeader::read(page.jpeg);
    if (!header || !isUsable(page.mediaBox) || !isUsable(page.pictureBox) || page.rotation % 90 != 0)
        return false;
    const std::optional<std::string_view> space = colorSpace(header->components);
    if (!space)
        return false;

    const int image = beginObject();
    append("<< /Type /XObject /Subtype /Image /Width " + std::to_string(header->width) + " /Height " +
           std::to_string(header->height) + " /ColorSpace " + std::string(*space) +
           " /BitsPerComponent 8 /Filter /DCTDecode /Length " + std::to_string(page.jpeg.size()) +
           " >>\nstream\n");
    append(page.jpeg);
    append("\nendstream\nendobj\n");

    // The unit square of the image space scaled and moved onto the picture box (8.9.5).
    const PageBox& box = page.pictureBox;
    const std::string content = "q " + number(box.width) + " 0 0 " + number(box.height) + " " +
                                number(box.x) + " " + number(box.y) + " cm /Im0 Do Q\n";
    const int contents = beginObject();
    append("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
           "endstream\nendobj\n");

    std::string dictionary = "<< /Type /Page /Parent 2 0 R /MediaBox " + rectangle(page.mediaBox);
    if (page.pictureBox != page.mediaBox)
        dictionary += " /CropBox " + rectangle(page.pictureBox);
    if (const int rotation = ((page.rotation % 360) + 360) % 360; rotation != 0)
        dictionary += " /Rotate " + std::to_string(rotation);
    dictionary += " /Resources << /XObject << /Im0 " + std::to_string(image) + " 0 R >> >> /Contents " +
                  std::to_string(contents) + " 0 R >>\nendobj\n";
    m_pageObjects.push_back(beginObject());
    append(dictionary);
    return true;
}

std::optional<std::vector<std::uint8_t>> PDFWriter::finish() && {
    beginObject(pageTreeObject);
    std::string kids;
    for (int page : m_pageObjects)
        kids += (kids.empty() ? "" : " ") + std::to_string(page) + " 0 R";
    append("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(m_pageObjects.size()) +
           " >>\nendobj\n");

    const std::size_t table = m_size;
    if (table > largestOffset)
        return std::nullopt;
    // Every entry is exactly 20 bytes: ten-digit offset, five-digit generation, type, two-byte end.
    append("xref\n0 " + std::to_string(m_offsets.size() + 1) + "\n0000000000 65535 f\r\n");
    char entry[21];
    for (std::size_t offset : m_offsets) {
        std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offset);
        append(std::string_view(entry, 20));
    }
    append("trailer\n<< /Size " + std::to_string(m_offsets.size() + 1) +
           " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n");
    // Each piece is released once copied, so the file never sits in memory twice.
    std::vector<std::uint8_t> file;
    file.reserve(m_size);
    for (std::vector<std::uint8_t>& piece : m_pieces) {
        file.insert(file.end(), piece.begin(), piece.end());
        std::vector<std::uint8_t>().swap(piece);
    }
    return file;
}

int PDFWriter::beginObject(std::optional<int> number) {
    if (!number) {
        m_offsets.push_back(0);
        number = int(m_offsets.size());
    }
    m_offsets[std::size_t(*number) - 1] = m_size;
    append(std::to_string(*number) + " 0 obj\n");
    return *number;
}

void PDFWriter::append(std::string_view text) {
    append(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void PDFWriter::append(std::span<const std::uint8_t> bytes) {
    // Text collects in pieces of up to 64 KB; a page's picture, larger, starts a piece of its own.
    constexpr std::size_t pieceBytes = 64 * 1024;
    if (m_pieces.empty() || m_pieces.back().size() + bytes.size() > pieceBytes)
        m_pieces.emplace_back().reserve(bytes.size());
    m_pieces.back().insert(m_pieces.back().end(), bytes.begin(), bytes.end());
    m_size += bytes.size();
}

} // namespace quillmorph
