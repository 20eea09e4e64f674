#include "engines/image/PNGWriter.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <span>
#include <string_view>
#include <unordered_map>
#include <zlib.h>

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

enum class FilterType : std::uint8_t { none, sub, up, average, paeth };

constexpr std::size_t paletteCapacity = 256;
constexpr std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint8_t colourTypeIndexed = 3;
// A chunk's length field is limited to 2^31 − 1 (ISO/IEC 15948, 5.3).
constexpr std::size_t maximumChunkLength = 0x7FFFFFFF;

std::array<std::uint8_t, 4> bigEndian(std::uint32_t value) {
    return {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
            std::uint8_t(value)};
}

void append(Bytes& bytes, std::span<const std::uint8_t> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
}

// Palette entries are numbered in order of first appearance; nothing at the 257th distinct colour.
std::optional<IndexedImage> collect(std::span<const std::uint8_t> rgba, std::size_t count) {
    IndexedImage image;
    image.indices.resize(count);
    std::unordered_map<std::uint32_t, std::uint8_t> indexOfKey;
    indexOfKey.reserve(paletteCapacity);
    std::uint32_t previousKey = 0;
    std::uint8_t index = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* pixel = rgba.data() + i * 4;
        const std::uint32_t key = std::uint32_t(pixel[0]) << 24 | std::uint32_t(pixel[1]) << 16 |
                                  std::uint32_t(pixel[2]) << 8 | pixel[3];
        // Neighbouring pixels mostly repeat a colour: skip the map for a run.
        if (i == 0 || key != previousKey) {
            if (auto found = indexOfKey.find(key); found != indexOfKey.end()) {
                index = found->second;
            } else {
                if (image.palette.size() == paletteCapacity)
                    return std::nullopt;
                index = std::uint8_t(image.palette.size());
                indexOfKey.emplace(key, index);
                image.palette.push_back({pixel[0], pixel[1], pixel[2], pixel[3]});
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

// ISO/IEC 15948 (PNG), 9.2, with one byte per pixel: the left neighbour of the first byte is 0.
void filterRow(FilterType type, const std::uint8_t* current, const std::uint8_t* previous, std::size_t width,
               std::uint8_t* filtered) {
    switch (type) {
    case FilterType::none:
        std::copy_n(current, width, filtered);
        break;
    case FilterType::sub:
        filtered[0] = current[0];
        for (std::size_t x = 1; x < width; ++x)
            filtered[x] = std::uint8_t(current[x] - current[x - 1]);
        break;
    case FilterType::up:
        for (std::size_t x = 0; x < width; ++x)
            filtered[x] = std::uint8_t(current[x] - previous[x]);
        break;
    case FilterType::average:
        filtered[0] = std::uint8_t(current[0] - previous[0] / 2);
        for (std::size_t x = 1; x < width; ++x)
            filtered[x] = std::uint8_t(current[x] - (current[x - 1] + previous[x]) / 2);
        break;
    case FilterType::paeth:
        filtered[0] = std::uint8_t(current[0] - previous[0]);
        for (std::size_t x = 1; x < width; ++x)
            filtered[x] =
                std::uint8_t(current[x] - paethPredictor(current[x - 1], previous[x], previous[x - 1]));
        break;
    }
}

// The usual heuristic: bytes read as signed, magnitudes summed; small residuals compress best.
std::uint64_t filterScore(const Bytes& filtered) {
    std::uint64_t score = 0;
    for (std::uint8_t value : filtered)
        score += value < 128 ? value : 256 - value;
    return score;
}

// Depth 8 tries the five filters on every row and keeps the lowest score, the lower type on a tie.
Bytes scanlines(const Bytes& indices, int width, int height, int depth) {
    if (depth < 8)
        return packed(indices, width, height, depth);
    const std::size_t rowBytes = std::size_t(width);
    Bytes lines(std::size_t(height) * (1 + rowBytes));
    const Bytes zeroRow(rowBytes, 0);
    Bytes candidate(rowBytes);
    Bytes best(rowBytes);
    for (std::size_t y = 0; y < std::size_t(height); ++y) {
        const std::uint8_t* current = indices.data() + y * rowBytes;
        const std::uint8_t* previous = y == 0 ? zeroRow.data() : current - rowBytes;
        FilterType bestType = FilterType::none;
        std::uint64_t bestScore = std::numeric_limits<std::uint64_t>::max();
        for (FilterType type :
             {FilterType::none, FilterType::sub, FilterType::up, FilterType::average, FilterType::paeth}) {
            filterRow(type, current, previous, rowBytes, candidate.data());
            if (const std::uint64_t score = filterScore(candidate); score < bestScore) {
                bestScore = score;
                bestType = type;
                std::swap(candidate, best);
            }
        }
        std::uint8_t* line = lines.data() + y * (1 + rowBytes);
        line[0] = std::uint8_t(bestType);
        std::ranges::copy(best, line + 1);
    }
    return lines;
}

// A zlib stream (level 9, default strategy, Adler-32 trailer) as IDAT requires.
std::optional<Bytes> deflate(const Bytes& data) {
    uLongf length = compressBound(uLong(data.size()));
    Bytes compressed(length);
    if (compress2(compressed.data(), &length, data.data(), uLong(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return std::nullopt;
    if (length > maximumChunkLength)
        return std::nullopt;
    compressed.resize(length);
    return compressed;
}

std::array<std::uint8_t, 13> header(int width, int height, int depth) {
    std::array<std::uint8_t, 13> data{};
    std::ranges::copy(bigEndian(std::uint32_t(width)), data.begin());
    std::ranges::copy(bigEndian(std::uint32_t(height)), data.begin() + 4);
    data[8] = std::uint8_t(depth);
    data[9] = colourTypeIndexed;
    // compression 0 (deflate), filter method 0 (adaptive), interlace 0 (none)
    return data;
}

// CRC-32 (ISO/IEC 15948, 5.5) over a chunk's type letters and data.
std::uint32_t crc(std::span<const std::uint8_t> typeAndData) {
    return std::uint32_t(crc32(0, typeAndData.data(), uInt(typeAndData.size())));
}

void chunk(Bytes& file, std::string_view type, std::span<const std::uint8_t> data) {
    append(file, bigEndian(std::uint32_t(data.size())));
    const std::size_t typeStart = file.size();
    file.insert(file.end(), type.begin(), type.end());
    append(file, data);
    append(file, bigEndian(crc(std::span(file).subspan(typeStart))));
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

} // namespace

std::optional<std::vector<std::uint8_t>> indexed(const Bitmap& image) {
    const int width = image.width();
    const int height = image.height();
    if (width <= 0 || height <= 0)
        return std::nullopt;
    std::optional<IndexedImage> indexedImage;
    {
        const std::optional<Bytes> rgba = image.unpremultipliedRGBA();
        if (!rgba)
            return std::nullopt;
        indexedImage = collect(*rgba, std::size_t(width) * std::size_t(height));
    }
    if (!indexedImage)
        return std::nullopt;
    auto& [palette, indices] = *indexedImage;
    sortByOpacity(palette, indices);
    const int depth = bitDepth(palette.size());
    const std::optional<Bytes> imageData = deflate(scanlines(indices, width, height, depth));
    if (!imageData)
        return std::nullopt;

    Bytes file;
    append(file, signature);
    chunk(file, "IHDR", header(width, height, depth));
    chunk(file, "PLTE", paletteColours(palette));
    if (const Bytes alphas = transparency(palette); !alphas.empty())
        chunk(file, "tRNS", alphas);
    chunk(file, "IDAT", *imageData);
    chunk(file, "IEND", {});
    return file;
}

} // namespace quillmorph::PNGWriter
