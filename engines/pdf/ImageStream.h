#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>
#include <vector>

namespace quillmorph {

// An image XObject's data taken out of its document with what decoding it needs, so that its pixels
// can be worked on away from the document's thread: either a JPEG file as stored, or the samples
// with every general filter (Flate, LZW, run-length, ASCII) undone.
struct ImageStream {
    enum class Coding { jpeg, samples };
    // What the pixels mean once expanded: 8-bit gray, RGB or CMYK (0 no ink).
    enum class Tone { gray, rgb, cmyk };

    Coding coding = Coding::samples;
    std::string bytes;
    int width = 0;
    int height = 0;
    int bitsPerComponent = 8; // 1, 2, 4, 8 or 16
    Tone tone = Tone::gray;
    int components = 1; // per stored sample: 1 for a palette's indices
    // The /Decode pairs per stored component; empty for the default.
    std::vector<double> decode;
    // The palette of an indexed image, entries of the tone's components; empty otherwise.
    std::vector<std::uint8_t> palette;
    std::size_t storedBytes = 0; // the stream's encoded length in the document

    // A palette or fewer than 8 bits: line art, a chart, a logo.
    [[nodiscard]] bool hasFewColours() const { return !palette.empty() || bitsPerComponent < 8; }
    // The tone's components: 1, 3 or 4.
    [[nodiscard]] int toneComponents() const;

    // Samples only: the stored values one byte each, width × height pixels of `components`, rows from
    // the top; 16 bits cut to their high byte.
    [[nodiscard]] std::vector<std::uint8_t> unpacked() const;
    // Samples only: width × height pixels of toneComponents() 8-bit values, rows from the top,
    // decode array and palette applied.
    [[nodiscard]] std::vector<std::uint8_t> pixels() const;
};

// The image's data, or nothing for what is left as it is: stencil masks, images masked by a colour
// key or pre-multiplied with their soft mask, JBIG2, JPEG 2000 and CCITT data, colour spaces other
// than gray, RGB, CMYK and palettes of them, more than `largestPixels` pixels, and data that does not
// decode or is shorter than its size says. May throw what qpdf throws for a damaged document.
[[nodiscard]] std::optional<ImageStream> takeImageStream(QPDFObjectHandle image, double largestPixels);

// The colour space an image of `tone` keeps from `image`: its own (ICC profile, calibration) when it
// means that tone, the base of its palette when that does, else the device space.
[[nodiscard]] QPDFObjectHandle keptColourSpace(QPDFObjectHandle image, ImageStream::Tone tone);

} // namespace quillmorph
