#pragma once

#include "ImageStream.h"
#include "PageGeometry.h"

#include <optional>
#include <string>

// Makes an image of a PDF smaller: fewer pixels where it has more than it is drawn with, gray when
// asked, and a JPEG or lossless encoding, whichever is smaller. Safe on any thread; touches no
// document.
namespace quillmorph::ImageRecompressor {

// What the image is to the page.
enum class Role {
    picture,  // may turn gray and lossy
    softMask, // an image's transparency: resized with it but only ever stored losslessly
};

struct Options {
    double quality = 0.7; // JPEG quality, 0 … 1
    bool grayscale = false;
    Role role = Role::picture;
};

struct Recompressed {
    enum class Filter { jpeg, flate };

    std::string bytes;
    Filter filter = Filter::flate;
    int width = 0;
    int height = 0;
    ImageStream::Tone tone = ImageStream::Tone::gray;
    int bitsPerComponent = 8;
    // The stored values kept as they were, fewer of them: the image keeps its colour space and
    // decode array (a palette stays a palette, line art stays 1-bit).
    bool keepsValues = false;
    // A CMYK JPEG stores its values inverted, as Adobe's writers do: its /Decode must flip them back.
    [[nodiscard]] bool isInvertedCMYK() const { return filter == Filter::jpeg && tone == ImageStream::Tone::cmyk; }
};

// The smallest new encoding, shrunk to at most `largest` pixels each way (never enlarged; no
// limit when nothing is known of where it is drawn). Images with few colours keep their stored
// values, resampled to the nearest, packed at their depth and deflated; soft masks are stored as
// deflated 8-bit gray; others as JPEG at options.quality, or deflated when that is smaller and
// their source was lossless. Turning gray makes few colours many. Nothing when the result would
// not be smaller than stream.storedBytes (by a tenth for a JPEG that only gets encoded again), when a lossless image needs no change at all (rewriting
// the document recompresses it anyway), or when libvips fails.
[[nodiscard]] std::optional<Recompressed> recompress(const ImageStream& stream, std::optional<PixelSize> largest,
                                                     const Options& options);

} // namespace quillmorph::ImageRecompressor
