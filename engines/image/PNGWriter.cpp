#include "engines/image/PNGWriter.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <future>
#include <libdeflate.h>
#include <memory>
#include <numeric>
#include <span>
#include <string_view>
#include <unordered_map>

namespace quillmorph::PNGWriter {

namespace {

using Bytes = std::vector<std::uint8_t>;

// One palette colour, straight alpha.
struct Entry {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
};

struct IndexedImage {
    std::vector<Entry> palette;
    Bytes indices; // one palette index per pixel, rows from the top
};

// Straight colours, four bytes a pixel, rows from the top; the fourth byte is ignored when opaque.
struct StraightPixels {
    int width = 0;
    int height = 0;
    bool opaque = true;
    std::span<const std::uint8_t> rgba;
    Bytes storage; // the un-premultiplied copy of a translucent image
};

enum class FilterType : std::uint8_t { none, sub, up, average, paeth };

constexpr std::size_t paletteCapacity = 256;
constexpr std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint8_t colourTypeTruecolour = 2;
constexpr std::uint8_t colourTypeIndexed = 3;
constexpr std::uint8_t colourTypeTruecolourAlpha = 6;
// A chunk's length field is limited to 2^31 − 1 (ISO/IEC 15948, 5.3).
constexpr std::size_t maximumChunkLength = 0x7FFFFFFF;
// libdeflate's levels that come out no larger than zlib's best on these rows, and faster: palette rows
// already at 9, truecolour photo rows at 10 (its lightest near-optimal parsing).
constexpr int paletteDeflateLevel = 9;
constexpr int truecolourDeflateLevel = 10;
// A fifth of level 10's time, and within a sixth of its size on photos.
constexpr int quickDeflateLevel = 6;

std::array<std::uint8_t, 4> bigEndian(std::uint32_t value) {
    return {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
            std::uint8_t(value)};
}

void append(Bytes& bytes, std::span<const std::uint8_t> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
}

// Nothing when the image is empty or its un-premultiplied copy cannot be allocated.
std::optional<StraightPixels> straightPixels(const Bitmap& image) {
    if (image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    StraightPixels pixels{.width = image.width(), .height = image.height(), .opaque = !image.hasAlpha()};
    if (pixels.opaque) {
        pixels.rgba = image.pixels();
        return pixels;
    }
    std::optional<Bytes> rgba = image.unpremultipliedRGBA();
    if (!rgba)
        return std::nullopt;
    pixels.storage = std::move(*rgba);
    pixels.rgba = pixels.storage;
    return pixels;
}

// Palette entries are numbered in order of first appearance; nothing at the 257th distinct colour.
std::optional<IndexedImage> collect(const StraightPixels& pixels) {
    const std::size_t count = std::size_t(pixels.width) * std::size_t(pixels.height);
    const std::uint32_t opaqueBits = pixels.opaque ? 0xFF : 0;
    IndexedImage image;
    image.indices.resize(count);
    std::unordered_map<std::uint32_t, std::uint8_t> indexOfKey;
    indexOfKey.reserve(paletteCapacity);
    std::uint32_t previousKey = 0;
    std::uint8_t index = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* pixel = pixels.rgba.data() + i * 4;
        const std::uint32_t key = std::uint32_t(pixel[0]) << 24 | std::uint32_t(pixel[1]) << 16 |
                                  std::uint32_t(pixel[2]) << 8 | pixel[3] | opaqueBits;
        // Neighbouring pixels mostly repeat a colour: skip the map for a run.
        if (i == 0 || key != previousKey) {
            if (auto found = indexOfKey.find(key); found != indexOfKey.end()) {
                index = found->second;
            } else {
                if (image.palette.size() == paletteCapacity)
                    return std::nullopt;
                index = std::uint8_t(image.palette.size());
                indexOfKey.emplace(key, index);
                image.palette.push_back({pixel[0], pixel[1], pixel[2], std::uint8_t(key)});
            }
            previousKey = key;
        }
        image.indices[i] = index;
    }
    return image;
}
// Translucent entries first, so that tRNS covers exactly them; ties keep their first-appearance order.
void sortByOpacity(std::vector<Entry>& palette, Bytes& indices) {
    if (std::ranges::is_sorted(palette, {}, &Entry::a))
        return;
    std::vector<std::uint8_t> order(palette.size());
    std::iota(order.begin(), order.end(), std::uint8_t(0));
    std::ranges::stable_sort(order, {}, [&](std::uint8_t index) { return palette[index].a; });
    std::array<std::uint8_t, paletteCapacity> renumbered{};
    std::vector<Entry> sorted;
    sorted.reserve(palette.size());
    for (std::size_t position = 0; position < order.size(); ++position) {
        renumbered[order[position]] = std::uint8_t(position);
        sorted.push_back(palette[order[position]]);
    }
    palette = std::move(sorted);
    for (std::uint8_t& index : indices)
        index = renumbered[index];
}

int bitDepth(std::size_t paletteSize) {
    if (paletteSize <= 2)
        return 1;
    if (paletteSize <= 4)
        return 2;
    if (paletteSize <= 16)
        return 4;
    return 8;
}

// Rows of filter type None, pixels packed most significant bits first, the last byte's spare bits 0.
Bytes packed(const Bytes& indices, int width, int height, int depth) {
    const std::size_t rowBytes = (std::size_t(width) * std::size_t(depth) + 7) / 8;
    Bytes lines(std::size_t(height) * (1 + rowBytes), 0);
    for (std::size_t y = 0; y < std::size_t(height); ++y) {
        std::uint8_t* row = lines.data() + y * (1 + rowBytes) + 1;
        const std::uint8_t* source = indices.data() + y * std::size_t(width);
        for (std::size_t x = 0; x < std::size_t(width); ++x) {
            const std::size_t bit = x * std::size_t(depth);
            row[bit / 8] |= std::uint8_t(source[x] << (8 - depth - int(bit % 8)));
        }
    }
    return lines;
}

// ISO/IEC 15948 (PNG), 9.4: the predictor nearest to a + b − c, ties in the order a, b, c.
int paethPredictor(int a, int b, int c) {
    const int distanceA = std::abs(b - c);
    const int distanceB = std::abs(a - c);
    const int distanceC = std::abs(a + b - 2 * c);
    if (distanceA <= distanceB && distanceA <= distanceC)
        return a;
    if (distanceB <= distanceC)
        return b;
    return c;
}

// ISO/IEC 15948 (PNG), 9.2: the left neighbour of a row's first pixel is 0.
void filterRow(FilterType type, const std::uint8_t* current, const std::uint8_t* previous,
               std::size_t rowBytes, std::size_t pixelBytes, std::uint8_t* filtered) {
    const std::size_t first = std::min(pixelBytes, rowBytes);
    switch (type) {
    case FilterType::none:
        std::copy_n(current, rowBytes, filtered);
        break;
    case FilterType::sub:
        std::copy_n(current, first, filtered);
        for (std::size_t x = first; x < rowBytes; ++x)
            filtered[x] = std::uint8_t(current[x] - current[x - pixelBytes]);
        break;
    case FilterType::up:
        for (std::size_t x = 0; x < rowBytes; ++x)
            filtered[x] = std::uint8_t(current[x] - previous[x]);
        break;
    case FilterType::average:
        for (std::size_t x = 0; x < first; ++x)
            filtered[x] = std::uint8_t(current[x] - previous[x] / 2);
        for (std::size_t x = first; x < rowBytes; ++x)
            filtered[x] = std::uint8_t(current[x] - (current[x - pixelBytes] + previous[x]) / 2);
        break;
    case FilterType::paeth:
        for (std::size_t x = 0; x < first; ++x)
            filtered[x] = std::uint8_t(current[x] - previous[x]);
        for (std::size_t x = first; x < rowBytes; ++x)
            filtered[x] = std::uint8_t(
                current[x] - paethPredictor(current[x - pixelBytes], previous[x], previous[x - pixelBytes]));
        break;
    }
}

// The usual heuristic: bytes read as signed, magnitudes summed; small residuals compress best.
std::uint64_t filterScore(const std::uint8_t* filtered, std::size_t rowBytes) {
    std::uint64_t score = 0;
    for (std::size_t x = 0; x < rowBytes; ++x)
        score += filtered[x] < 128 ? filtered[x] : 256 - filtered[x];
    return score;
}

// Tries the five filters on the row and writes the filter type and the row with the lowest score to `line`,
// the lower type on a tie.
void filterBest(const std::uint8_t* current, const std::uint8_t* previous, std::size_t rowBytes,
                std::size_t pixelBytes, Bytes& candidate, std::uint8_t* line) {
    std::uint64_t bestScore = 0;
    for (FilterType type :
         {FilterType::none, FilterType::sub, FilterType::up, FilterType::average, FilterType::paeth}) {
        filterRow(type, current, previous, rowBytes, pixelBytes, candidate.data());
        const std::uint64_t score = filterScore(candidate.data(), rowBytes);
        if (type == FilterType::none || score < bestScore) {
            bestScore = score;
            line[0] = std::uint8_t(type);
            std::copy_n(candidate.data(), rowBytes, line + 1);
        }
    }
}

// Depth 8 filters every row adaptively; smaller depths keep filter type None.
Bytes indexedScanlines(const Bytes& indices, int width, int height, int depth) {
    if (depth < 8)
        return packed(indices, width, height, depth);
    const std::size_t rowBytes = std::size_t(width);
    Bytes lines(std::size_t(height) * (1 + rowBytes));
    const Bytes zeroRow(rowBytes, 0);
    Bytes candidate(rowBytes);
    for (std::size_t y = 0; y < std::size_t(height); ++y) {
        const std::uint8_t* current = indices.data() + y * rowBytes;
        filterBest(current, y == 0 ? zeroRow.data() : current - rowBytes, rowBytes, 1, candidate,
                   lines.data() + y * (1 + rowBytes));
    }
    return lines;
}

// RGB or RGBA rows, each filtered adaptively.
Bytes truecolourScanlines(const StraightPixels& pixels) {
    const std::size_t pixelBytes = pixels.opaque ? 3 : 4;
    const std::size_t width = std::size_t(pixels.width);
    const std::size_t rowBytes = width * pixelBytes;
    Bytes lines(std::size_t(pixels.height) * (1 + rowBytes));
    Bytes current(rowBytes);
    Bytes previous(rowBytes, 0);
    Bytes candidate(rowBytes);
    for (std::size_t y = 0; y < std::size_t(pixels.height); ++y) {
        const std::uint8_t* source = pixels.rgba.data() + y * width * 4;
        if (pixels.opaque) {
            for (std::size_t x = 0; x < width; ++x)
                std::memcpy(current.data() + x * 3, source + x * 4, 3);
        } else {
            std::copy_n(source, rowBytes, current.data());
        }
        filterBest(current.data(), previous.data(), rowBytes, pixelBytes, candidate,
                   lines.data() + y * (1 + rowBytes));
        std::swap(current, previous);
    }
    return lines;
}

// A zlib stream (Adler-32 trailer) as IDAT requires.
std::optional<Bytes> deflate(const Bytes& data, int level) {
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(level), libdeflate_free_compressor);
    if (!compressor)
        return std::nullopt;
    Bytes compressed(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
    const std::size_t length = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(),
                                                        compressed.data(), compressed.size());
    if (length == 0)
        return std::nullopt;
    compressed.resize(length);
    return compressed;
}

std::array<std::uint8_t, 13> header(int width, int height, int depth, std::uint8_t colourType) {
    std::array<std::uint8_t, 13> data{};
    std::ranges::copy(bigEndian(std::uint32_t(width)), data.begin());
    std::ranges::copy(bigEndian(std::uint32_t(height)), data.begin() + 4);
    data[8] = std::uint8_t(depth);
    data[9] = colourType;
    // compression 0 (deflate), filter method 0 (adaptive), interlace 0 (none)
    return data;
}

void chunk(Bytes& file, std::string_view type, std::span<const std::uint8_t> data) {
    append(file, bigEndian(std::uint32_t(data.size())));
    const std::size_t typeStart = file.size();
    file.insert(file.end(), type.begin(), type.end());
    append(file, data);
    const std::span<const std::uint8_t> typeAndData = std::span(file).subspan(typeStart);
    append(file, bigEndian(libdeflate_crc32(0, typeAndData.data(), typeAndData.size())));
}

Bytes paletteColours(const std::vector<Entry>& palette) {
    Bytes colours;
    colours.reserve(palette.size() * 3);
    for (const Entry& entry : palette)
        colours.insert(colours.end(), {entry.r, entry.g, entry.b});
    return colours;
}

// Alphas up to the last translucent entry; empty when every entry is opaque.
Bytes transparency(const std::vector<Entry>& palette) {
    Bytes alphas;
    for (const Entry& entry : palette)
        alphas.push_back(entry.a);
    while (!alphas.empty() && alphas.back() == 255)
        alphas.pop_back();
    return alphas;
}

// The file around its header and compressed rows; `palette` empty for truecolour. The rows go in
// IDAT chunks of at most the largest chunk length.
Bytes file(const std::array<std::uint8_t, 13>& imageHeader, const std::vector<Entry>& palette,
           std::span<const std::uint8_t> imageData) {
    Bytes bytes;
    append(bytes, signature);
    chunk(bytes, "IHDR", imageHeader);
    if (!palette.empty()) {
        chunk(bytes, "PLTE", paletteColours(palette));
        if (const Bytes alphas = transparency(palette); !alphas.empty())
            chunk(bytes, "tRNS", alphas);
    }
    for (std::size_t offset = 0; offset < imageData.size(); offset += maximumChunkLength)
        chunk(bytes, "IDAT",
              imageData.subspan(offset, std::min(maximumChunkLength, imageData.size() - offset)));
    chunk(bytes, "IEND", {});
    return bytes;
}

std::optional<Bytes> encodeIndexed(IndexedImage image, int width, int height) {
    auto& [palette, indices] = image;
    sortByOpacity(palette, indices);
    const int depth = bitDepth(palette.size());
    const std::optional<Bytes> imageData =
        deflate(indexedScanlines(indices, width, height, depth), paletteDeflateLevel);
    if (!imageData)
        return std::nullopt;
    return file(header(width, height, depth, colourTypeIndexed), palette, *imageData);
}

// Eight strips of rows spread evenly over the image, one after another: an eighth of the rows, and at
// most `sampleLimit` bytes, which measures the large images as closely.
Bytes sampledRows(const Bytes& rows, std::size_t height) {
    constexpr std::size_t strips = 8;
    constexpr std::size_t sampleLimit = 512 * 1024;
    const std::size_t lineBytes = rows.size() / height;
    const std::size_t band =
        std::max<std::size_t>(1, std::min(height / (strips * strips), sampleLimit / strips / lineBytes));
    Bytes sample;
    sample.reserve(strips * band * lineBytes);
    for (std::size_t strip = 0; strip < strips; ++strip) {
        const std::size_t first = std::min(height * (2 * strip + 1) / (2 * strips), height - band);
        const auto begin = rows.begin() + std::ptrdiff_t(first * lineBytes);
        sample.insert(sample.end(), begin, begin + std::ptrdiff_t(band * lineBytes));
    }
    return sample;
}

// The rows compressed quickly, and the size the full level is predicted to reach: the quick size times
// the ratio of the two levels on sampled rows.
struct QuickLook {
    std::size_t quickSize = 0;
    double predictedSize = 0;
};

std::optional<QuickLook> quickLook(const Bytes& rows, std::size_t height) {
    const std::optional<Bytes> quick = deflate(rows, quickDeflateLevel);
    const Bytes sample = sampledRows(rows, height);
    const std::optional<Bytes> sampleQuick = deflate(sample, quickDeflateLevel);
    const std::optional<Bytes> sampleFull = deflate(sample, truecolourDeflateLevel);
    if (!quick || !sampleQuick || !sampleFull)
        return std::nullopt;
    return QuickLook{quick->size(),
                     double(quick->size()) * double(sampleFull->size()) / double(sampleQuick->size())};
}

// Whether the rows cannot beat a palette file of `smallestPalette` bytes at the full level. On photos,
// screenshots, text and test patterns the prediction was at most 8 % high, where the full level alone
// gained up to a third over the quick one on patterns; so both the prediction must be 15 % over and the
// quick size 30 % over.
bool outOfReach(const QuickLook& look, std::optional<std::size_t> smallestPalette) {
    return smallestPalette && double(look.quickSize) > 1.3 * double(*smallestPalette) &&
           look.predictedSize > 1.15 * double(*smallestPalette);
}

// Nothing, too, when the race shows the file cannot be the smallest.
std::optional<Bytes> encodeTruecolour(const StraightPixels& pixels, PNGCandidateRace* race = nullptr) {
    const Bytes rows = truecolourScanlines(pixels);
    if (race && race->rivalPossible()) {
        // Looked at before waiting for the palettes, which are mostly still being made.
        const std::optional<QuickLook> look = quickLook(rows, std::size_t(pixels.height));
        if (look && outOfReach(*look, race->smallestPalette()))
            return std::nullopt;
    }
    const std::optional<Bytes> imageData = deflate(rows, truecolourDeflateLevel);
    if (!imageData)
        return std::nullopt;
    return file(header(pixels.width, pixels.height, 8,
                       pixels.opaque ? colourTypeTruecolour : colourTypeTruecolourAlpha),
                {}, *imageData);
}

} // namespace

std::optional<std::vector<std::uint8_t>> indexed(const Bitmap& image) {
    const std::optional<StraightPixels> pixels = straightPixels(image);
    if (!pixels)
        return std::nullopt;
    std::optional<IndexedImage> indexedImage = collect(*pixels);
    if (!indexedImage)
        return std::nullopt;
    return encodeIndexed(std::move(*indexedImage), pixels->width, pixels->height);
}

std::optional<std::vector<std::uint8_t>> truecolour(const Bitmap& image) {
    const std::optional<StraightPixels> pixels = straightPixels(image);
    if (!pixels)
        return std::nullopt;
    return encodeTruecolour(*pixels);
}

std::optional<std::vector<std::uint8_t>> smallest(const Bitmap& image, PNGCandidateRace::Entry* entry) {
    PNGCandidateRace::Entry none(nullptr);
    PNGCandidateRace::Entry& report = entry ? *entry : none;
    const std::optional<StraightPixels> pixels = straightPixels(image);
    if (!pixels) {
        report.send(std::nullopt);
        return std::nullopt;
    }
    // Taken now: the entry lets go of the race once it has sent.
    PNGCandidateRace* race = report.race();
    // Another thread when one can be had; deferred to the get() below, after the report, when not.
    auto truecolourFile = std::async(std::launch::async | std::launch::deferred,
                                     [&, race] { return encodeTruecolour(*pixels, race); });
    // On an exception the truecolour encoding may be waiting for the report: it is sent before the
    // encoding is waited for.
    const struct SendFirst {
        PNGCandidateRace::Entry& report;
        ~SendFirst() { report.send(std::nullopt); }
    } sendFirst{report};
    std::optional<Bytes> indexedFile;
    if (std::optional<IndexedImage> indexedImage = collect(*pixels))
        indexedFile = encodeIndexed(std::move(*indexedImage), pixels->width, pixels->height);
    report.send(indexedFile ? std::optional(indexedFile->size()) : std::nullopt);
    std::optional<Bytes> best = truecolourFile.get();
    if (indexedFile && (!best || indexedFile->size() < best->size()))
        return indexedFile;
    return best;
}

} // namespace quillmorph::PNGWriter
