#include "JPEGHeader.h"

namespace quillmorph {
namespace {

// Marker codes of ITU-T T.81, table B.1.
constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t endOfImage = 0xD9;
constexpr std::uint8_t startOfScan = 0xDA;
constexpr std::uint8_t temporary = 0x01;

int bigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] << 8 | bytes[at + 1];
}

// SOF0–SOF15 except DHT (C4), JPG (C8) and DAC (CC), which share the range.
bool isFrameHeader(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isStandalone(std::uint8_t marker) {
    return marker == temporary || (marker >= 0xD0 && marker <= 0xD7);
}

} // namespace

std::optional<JPEGHeader> JPEGHeader::read(std::span<const std::uint8_t> jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != startOfImage)
        return std::nullopt;
    std::size_t position = 2;
    while (position + 1 < jpeg.size()) {
        if (jpeg[position] != 0xFF)
            return std::nullopt;
        // Any number of 0xFF fill bytes may precede a marker (T.81 B.1.1.2).
        while (position + 1 < jpeg.size() && jpeg[position + 1] == 0xFF)
            ++position;
        if (position + 1 >= jpeg.size())
            return std::nullopt;
        const std::uint8_t marker = jpeg[position + 1];
        position += 2;
        if (isStandalone(marker))
            continue;
        if (marker == endOfImage || marker == startOfScan || position + 2 > jpeg.size())
            return std::nullopt;
        const std::size_t length = std::size_t(bigEndian16(jpeg, position));
        if (length < 2 || position + length > jpeg.size())
            return std::nullopt;
        if (isFrameHeader(marker)) {
            // Lf, P, Y, X, Nf: the height and width follow the sample precision.
            if (length < 8)
                return std::nullopt;
            JPEGHeader header{.width = bigEndian16(jpeg, position + 5),
                              .height = bigEndian16(jpeg, position + 3),
                              .components = jpeg[position + 7]};
            if (header.width == 0 || header.height == 0 || header.components == 0)
                return std::nullopt;
            return header;
        }
        position += length;
    }
    return std::nullopt;
}

} // namespace quillmorph
