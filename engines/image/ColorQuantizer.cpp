#include "engines/image/ColorQuantizer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <future>
#include <limits>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace quillmorph::ColorQuantizer {

namespace {

// A premultiplied colour A << 24 | R << 16 | G << 8 | B; every fully transparent pixel is key 0.
using Key = std::uint32_t;
// Components in channel order R, G, B, A.
using Components = std::array<int, 4>;

struct HistogramEntry {
    Key color = 0;
    std::uint32_t count = 0;
};
// Ascending key order, which fixes the first box's order and so every tie inside the median cut.
using Histogram = std::vector<HistogramEntry>;

struct Color {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
};
using Palette = std::vector<Color>;

constexpr std::size_t sampledPixels = 2'000'000;
constexpr std::size_t ditheringLimit = 8'000'000;
// Errors this small (Σe² over the channels) are rounding noise, not worth spreading.
constexpr int diffusionThreshold = 12;
constexpr std::array<int, 4> channelShift{16, 8, 0, 24};

Key key(int r, int g, int b, int a) {
    return a == 0 ? 0 : Key(a) << 24 | Key(r) << 16 | Key(g) << 8 | Key(b);
}

int component(Key color, int channel) {
    return int(color >> channelShift[channel] & 0xFF);
}

Components unpack(Key color) {
    return {component(color, 0), component(color, 1), component(color, 2), component(color, 3)};
}

// The pixels as premultiplied RGBA, rows from the top; a filler byte reads as full coverage.
std::optional<std::vector<std::uint8_t>> rgbaBuffer(const Bitmap& image) {
    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(image.pixels().begin(), image.pixels().end());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!image.hasAlpha()) {
        for (std::size_t alpha = 3; alpha < buffer.size(); alpha += 4)
            buffer[alpha] = 255;
    }
    return buffer;
}

Key keyAt(const std::vector<std::uint8_t>& buffer, std::size_t pixel) {
    const std::uint8_t* p = buffer.data() + pixel * 4;
    return key(p[0], p[1], p[2], p[3]);
}

// Ascending, by a least-significant-digit radix sort: a byte a pass.
void sortKeys(std::vector<Key>& keys) {
    std::vector<Key> scratch(keys.size());
    for (int shift = 0; shift < 32; shift += 8) {
        std::array<std::size_t, 257> starts{};
        for (Key key : keys)
            ++starts[(key >> shift & 0xFF) + 1];
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        for (Key key : keys)
            scratch[starts[key >> shift & 0xFF]++] = key;
        keys.swap(scratch);
    }
}

// Counts of every step-th pixel's key.
Histogram histogram(const std::vector<std::uint8_t>& buffer, std::size_t pixelCount, std::size_t step) {
    std::vector<Key> samples;
    samples.reserve((pixelCount + step - 1) / step);
    for (std::size_t pixel = 0; pixel < pixelCount; pixel += step)
        samples.push_back(keyAt(buffer, pixel));
    sortKeys(samples);
    Histogram counts;
    for (Key color : samples) {
        if (counts.empty() || counts.back().color != color)
            counts.push_back({color, 0});
        ++counts.back().count;
    }
    return counts;
}

// A run of entries of the histogram being cut; the cut reorders entries only within a box.
struct Box {
    std::size_t begin = 0;
    std::size_t end = 0;
    // Per channel, the largest minus the smallest component over the entries (counts ignored).
    std::array<int, 4> spreads{};
    std::uint64_t volume = 1;

    Box(const std::vector<HistogramEntry>& entries, std::size_t first, std::size_t last)
        : begin(first), end(last) {
        Components low{255, 255, 255, 255};
        Components high{0, 0, 0, 0};
        for (std::size_t index = begin; index < end; ++index) {
            for (int channel = 0; channel < 4; ++channel) {
                low[channel] = std::min(low[channel], component(entries[index].color, channel));
                high[channel] = std::max(high[channel], component(entries[index].color, channel));
            }
        }
        for (int channel = 0; channel < 4; ++channel) {
            spreads[channel] = std::max(0, high[channel] - low[channel]);
            volume *= std::uint64_t(spreads[channel] + 1);
        }
    }

    [[nodiscard]] std::size_t size() const { return end - begin; }

    // The widest channel, the lowest channel index on a tie.
    [[nodiscard]] int splitAxis() const { return int(std::ranges::max_element(spreads) - spreads.begin()); }

    // Count-weighted mean per channel, rounded down.
    [[nodiscard]] Color average(const std::vector<HistogramEntry>& entries) const {
        std::array<std::uint64_t, 4> sums{};
        std::uint64_t total = 0;
        for (std::size_t index = begin; index < end; ++index) {
            for (int channel = 0; channel < 4; ++channel)
                sums[channel] +=
                    std::uint64_t(component(entries[index].color, channel)) * entries[index].count;
            total += entries[index].count;
        }
        if (total == 0)
            return {};
        return {std::uint8_t(sums[0] / total), std::uint8_t(sums[1] / total), std::uint8_t(sums[2] / total),
                std::uint8_t(sums[3] / total)};
    }
};

// Sorted on the widest channel (stable, so equal components keep their order) and cut where the running
// count first reaches half the total; each side keeps at least one entry.
std::pair<Box, Box> split(const Box& box, std::vector<HistogramEntry>& entries,
                          std::vector<HistogramEntry>& scratch) {
    const int axis = box.splitAxis();
    // A counting sort: 256 possible components.
    std::array<std::size_t, 257> starts{};
    std::uint64_t total = 0;
    for (std::size_t index = box.begin; index < box.end; ++index) {
        ++starts[std::size_t(component(entries[index].color, axis)) + 1];
        total += entries[index].count;
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    scratch.resize(box.size());
    for (std::size_t index = box.begin; index < box.end; ++index)
        scratch[starts[std::size_t(component(entries[index].color, axis))]++] = entries[index];
    std::ranges::copy(scratch, entries.begin() + std::ptrdiff_t(box.begin));

    const std::uint64_t half = total / 2;
    std::size_t size = 0;
    for (std::uint64_t running = 0; size < box.size();) {
        running += entries[box.begin + size++].count;
        if (running >= half)
            break;
    }
    size = std::clamp<std::size_t>(size, 1, box.size() - 1);
    return {Box(entries, box.begin, box.begin + size), Box(entries, box.begin + size, box.end)};
}

Palette medianCut(const Histogram& histogram, int maxColors) {
    std::vector<HistogramEntry> entries = histogram;
    std::vector<HistogramEntry> scratch;
    std::vector<Box> boxes;
    boxes.emplace_back(entries, 0, entries.size());
    while (boxes.size() < std::size_t(maxColors)) {
        // The largest volume among the divisible boxes; the earliest in the list on a tie.
        auto chosen = boxes.end();
        std::uint64_t largestVolume = 0;
        for (auto box = boxes.begin(); box != boxes.end(); ++box) {
            if (box->size() > 1 && box->volume > largestVolume) {
                largestVolume = box->volume;
                chosen = box;
            }
        }
        if (chosen == boxes.end())
            break;
        const Box divided = *chosen;
        boxes.erase(chosen);
        auto [first, second] = split(divided, entries, scratch);
        boxes.push_back(first);
        boxes.push_back(second);
    }
    Palette palette;
    palette.reserve(boxes.size());
    for (const Box& box : boxes)
        palette.push_back(box.average(entries));
    return palette;
}

// Weighted squared distance: alpha weighs most, then green, red and blue.
int distance(const Components& c, const Color& candidate) {
    const int dr = c[0] - candidate.r;
    const int dg = c[1] - candidate.g;
    const int db = c[2] - candidate.b;
    const int da = c[3] - candidate.a;
    return 3 * dr * dr + 6 * dg * dg + db * db + 10 * da * da;
}

// Nearest-colour search: the first palette index at the smallest distance, which is what a scan in palette
// order finds when it stops early at an exact match. Rather than scanning every colour, it walks the palette
// sorted on its most discriminating channel outward from the query's value and stops once that channel
// alone puts every remaining colour farther away than the best so far.
class PaletteSearch {
  public:
    explicit PaletteSearch(const Palette& palette) {
        std::array<int, 4> low{255, 255, 255, 255};
        std::array<int, 4> high{0, 0, 0, 0};
        for (const Color& color : palette) {
            const Components c{color.r, color.g, color.b, color.a};
            for (int channel = 0; channel < 4; ++channel) {
                low[channel] = std::min(low[channel], c[channel]);
                high[channel] = std::max(high[channel], c[channel]);
            }
        }
        int widest = 0;
        for (int channel = 0; channel < 4; ++channel) {
            const int spread = std::max(0, high[channel] - low[channel]);
            if (channelWeight[channel] * spread * spread > widest) {
                widest = channelWeight[channel] * spread * spread;
                m_axis = channel;
            }
        }
        m_axisWeight = channelWeight[m_axis];
        for (std::size_t index = 0; index < palette.size(); ++index) {
            const Color& color = palette[index];
            const Components c{color.r, color.g, color.b, color.a};
            m_sorted.push_back({c[m_axis], color, std::uint32_t(index)});
        }
        std::ranges::stable_sort(m_sorted, {}, &Candidate::axisValue);
        for (int value = 0, position = 0; value <= 255; ++value) {
            while (position < int(m_sorted.size()) && m_sorted[std::size_t(position)].axisValue < value)
                ++position;
            m_firstAtOrAbove[std::size_t(value)] = position;
        }
    }

    [[nodiscard]] std::uint32_t nearest(Key color) const {
        const Components c = unpack(color);
        const int value = c[m_axis];
        const int count = int(m_sorted.size());
        const int start = m_firstAtOrAbove[std::size_t(value)];
        int bestDistance = std::numeric_limits<int>::max();
        std::uint32_t best = 0;
        const auto visit = [&](const Candidate& candidate) {
            const int d = distance(c, candidate.color);
            if (d < bestDistance || (d == bestDistance && candidate.index < best)) {
                bestDistance = d;
                best = candidate.index;
            }
        };
        // Upward, then downward with the bound found so far; each walk ends where the gap on the axis
        // alone makes a colour farther than the best.
        for (int position = start; position < count; ++position) {
            const int gap = m_sorted[std::size_t(position)].axisValue - value;
            if (m_axisWeight * gap * gap > bestDistance)
                break;
            visit(m_sorted[std::size_t(position)]);
        }
        for (int position = start - 1; position >= 0; --position) {
            const int gap = value - m_sorted[std::size_t(position)].axisValue;
            if (m_axisWeight * gap * gap > bestDistance)
                break;
            visit(m_sorted[std::size_t(position)]);
        }
        return best;
    }

  private:
    static constexpr std::array<int, 4> channelWeight{3, 6, 1, 10};

    struct Candidate {
        int axisValue = 0;
        Color color;
        std::uint32_t index = 0;
    };

    int m_axis = 0;
    int m_axisWeight = channelWeight[0];
    std::vector<Candidate> m_sorted;
    std::array<int, 256> m_firstAtOrAbove{};
};

// The nearest palette index of every colour key met in the image: open addressing with linear probing,
// kept at most half full.
class NearestCache {
  public:
    NearestCache(const PaletteSearch& search, std::size_t expectedColors) : m_search(search) {
        std::size_t capacity = 16;
        while (capacity < expectedColors * 2)
            capacity *= 2;
        m_slots.resize(capacity);
    }

    [[nodiscard]] std::uint32_t nearest(Key color) {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t position = slotOf(color, mask);; position = (position + 1) & mask) {
            Slot& slot = m_slots[position];
            if (slot.index == unused) {
                slot = {color, m_search.nearest(color)};
                const std::uint32_t index = slot.index;
                if (++m_count * 2 > m_slots.size())
                    grow();
                return index;
            }
            if (slot.color == color)
                return slot.index;
        }
    }

  private:
    static constexpr std::uint32_t unused = std::numeric_limits<std::uint32_t>::max();

    struct Slot {
        Key color = 0;
        std::uint32_t index = unused;
    };

    // Fibonacci hashing spreads neighbouring keys, which differ only in their low bits, across the table.
    static std::size_t slotOf(Key color, std::size_t mask) {
        return std::size_t((std::uint64_t(color) * 0x9E3779B97F4A7C15ULL) >> 32) & mask;
    }

    void grow() {
        const std::vector<Slot> previous = std::exchange(m_slots, std::vector<Slot>(m_slots.size() * 2));
        const std::size_t mask = m_slots.size() - 1;
        for (const Slot& slot : previous) {
            if (slot.index == unused)
                continue;
            std::size_t position = slotOf(slot.color, mask);
            while (m_slots[position].index != unused)
                position = (position + 1) & mask;
            m_slots[position] = slot;
        }
    }

    const PaletteSearch& m_search;
    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
};

// Per palette colour, the count-weighted sums of the components of the histogram colours nearest to it,
// and their count.
struct NearestSums {
    std::vector<std::array<std::uint64_t, 4>> sums;
    std::vector<std::uint64_t> totals;

    NearestSums(const PaletteSearch& search, std::span<const HistogramEntry> entries, std::size_t paletteSize)
        : sums(paletteSize), totals(paletteSize) {
        for (const HistogramEntry& entry : entries) {
            const std::uint32_t index = search.nearest(entry.color);
            const Components c = unpack(entry.color);
            for (int channel = 0; channel < 4; ++channel)
                sums[index][channel] += std::uint64_t(c[channel]) * entry.count;
            totals[index] += entry.count;
        }
    }
};

// Two passes moving each colour to the count-weighted mean of the histogram colours nearest to it. The
// histogram's halves are summed at once; integer sums do not depend on the order.
Palette refine(Palette palette, const Histogram& histogram) {
    const std::span<const HistogramEntry> entries(histogram);
    const std::size_t half = entries.size() / 2;
    for (int pass = 0; pass < 2; ++pass) {
        const PaletteSearch search(palette);
        auto second = std::async(std::launch::async | std::launch::deferred,
                                 [&] { return NearestSums(search, entries.subspan(half), palette.size()); });
        NearestSums nearest(search, entries.first(half), palette.size());
        const NearestSums other = second.get();
        for (std::size_t index = 0; index < palette.size(); ++index) {
            const std::uint64_t total = nearest.totals[index] + other.totals[index];
            if (total == 0)
                continue;
            std::array<std::uint64_t, 4> sum{};
            for (int channel = 0; channel < 4; ++channel)
                sum[channel] = nearest.sums[index][channel] + other.sums[index][channel];
            palette[index] = {std::uint8_t(sum[0] / total), std::uint8_t(sum[1] / total),
                              std::uint8_t(sum[2] / total), std::uint8_t(sum[3] / total)};
        }
    }
    return palette;
}

// Every pixel replaced by a palette colour, rows from the top, left to right. With dithering, each pixel's
// error (when Σe² > 12) goes 7/16 right, 3/16 below-left, 5/16 below, 1/16 below-right, each share
// truncated toward zero; the error rows carry one pixel of margin on each side to absorb what leaves the
// image. Rows firstRow up to lastRow only.
void mapPixels(std::vector<std::uint8_t>& buffer, int width, std::size_t firstRow, std::size_t lastRow,
               const Palette& palette, std::size_t distinctColors, bool dithering) {
    const std::size_t rowLength = std::size_t(width);
    const PaletteSearch search(palette);
    NearestCache cache(search, distinctColors);
    std::vector<int> currentErrors(dithering ? (rowLength + 2) * 4 : 0);
    std::vector<int> nextErrors(currentErrors.size());
    Key previousKey = 0;
    std::uint32_t previousIndex = cache.nearest(previousKey);

    for (std::size_t y = firstRow; y < lastRow; ++y) {
        if (dithering && y > firstRow) {
            std::swap(currentErrors, nextErrors);
            std::ranges::fill(nextErrors, 0);
        }
        std::uint8_t* pixel = buffer.data() + y * rowLength * 4;
        for (std::size_t x = 0; x < rowLength; ++x, pixel += 4) {
            Components c{pixel[0], pixel[1], pixel[2], pixel[3]};
            if (dithering) {
                const int* error = currentErrors.data() + (x + 1) * 4;
                for (int channel = 0; channel < 4; ++channel)
                    c[channel] = std::clamp(c[channel] + error[channel], 0, 255);
            }
            if (c[3] == 0)
                c = {0, 0, 0, 0};
            const Key color = key(c[0], c[1], c[2], c[3]);
            if (color != previousKey) {
                previousKey = color;
                previousIndex = cache.nearest(color);
            }
            const Color chosen = palette[previousIndex];
            pixel[0] = chosen.r;
            pixel[1] = chosen.g;
            pixel[2] = chosen.b;
            pixel[3] = chosen.a;
            if (!dithering)
                continue;

            const Components error{c[0] - chosen.r, c[1] - chosen.g, c[2] - chosen.b, c[3] - chosen.a};
            if (error[0] * error[0] + error[1] * error[1] + error[2] * error[2] + error[3] * error[3] <=
                diffusionThreshold)
                continue;
            int* right = currentErrors.data() + (x + 2) * 4;
            int* belowLeft = nextErrors.data() + x * 4;
            int* below = belowLeft + 4;
            int* belowRight = belowLeft + 8;
            for (int channel = 0; channel < 4; ++channel) {
                const int e = error[channel];
                if (e == 0)
                    continue;
                right[channel] += 7 * e / 16;
                belowLeft[channel] += 3 * e / 16;
                below[channel] += 5 * e / 16;
                belowRight[channel] += e / 16;
            }
        }
    }
}

} // namespace

std::optional<Bitmap> quantize(const Bitmap& image, int maxColors) {
    const std::size_t pixelCount = std::size_t(image.width()) * std::size_t(image.height());
    if (maxColors < 2 || pixelCount == 0)
        return std::nullopt;
    std::optional<std::vector<std::uint8_t>> buffer = rgbaBuffer(image);
    if (!buffer)
        return std::nullopt;
    const std::size_t step = pixelCount >= sampledPixels ? pixelCount / sampledPixels : 1;
    const Histogram counts = histogram(*buffer, pixelCount, step);
    if (counts.size() <= std::size_t(maxColors))
        return std::nullopt;
    Palette palette = medianCut(counts, maxColors);
    if (palette.size() < 2)
        return std::nullopt;
    palette = refine(std::move(palette), counts);
    const std::size_t height = std::size_t(image.height());
    if (pixelCount <= ditheringLimit) {
        mapPixels(*buffer, image.width(), 0, height, palette, counts.size(), true);
    } else {
        // Without dithering every pixel maps on its own: the halves of the image map at once.
        auto lower = std::async(std::launch::async | std::launch::deferred, [&] {
            mapPixels(*buffer, image.width(), height / 2, height, palette, counts.size(), false);
        });
        mapPixels(*buffer, image.width(), 0, height / 2, palette, counts.size(), false);
        lower.get();
    }
    return Bitmap(image.width(), image.height(), image.hasAlpha(), std::move(*buffer));
}

} // namespace quillmorph::ColorQuantizer
