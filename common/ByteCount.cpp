#include "ByteCount.h"

#include "Localization.h"
#include "NumberText.h"

#include <array>
#include <cmath>

namespace quillmorph {
namespace {

struct Unit {
    Phrase phrase;
    double size;
    int decimals; // at most; trailing zeros are dropped
};

constexpr std::array units{
    Unit{Phrase::sizeKilobytes, 1e3, 0},  Unit{Phrase::sizeMegabytes, 1e6, 1},
    Unit{Phrase::sizeGigabytes, 1e9, 2},  Unit{Phrase::sizeTerabytes, 1e12, 2},
    Unit{Phrase::sizePetabytes, 1e15, 2},
};

// Trimmed while the separator is still the point that NumberText always writes.
std::string number(double value, int decimals) {
    std::string text = NumberText::fixed(value, decimals);
    const auto point = text.find('.');
    if (point == std::string::npos)
        return text;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    else
        text.replace(point, 1, Localization::string(Phrase::numberDecimalSeparator));
    return text;
}

} // namespace

std::string formatByteCount(std::int64_t bytes) {
    if (bytes == 0)
        return Localization::string(Phrase::sizeZero);
    const std::string sign = bytes < 0 ? "-" : "";
    const double magnitude = std::fabs(double(bytes));
    if (magnitude < 1000) {
        return Localization::string(magnitude == 1 ? Phrase::sizeByte : Phrase::sizeBytes,
                                    {{"n", sign + std::to_string(std::llabs(bytes))}});
    }
    for (std::size_t index = 0; index < units.size(); ++index) {
        const Unit& unit = units[index];
        const double scale = std::pow(10.0, unit.decimals);
        const double value = std::round(magnitude / unit.size * scale) / scale;
        // 999,999 bytes rounds to 1,000 KB: show it in the next unit instead.
        if (value < 1000 || index + 1 == units.size())
            return Localization::string(unit.phrase, {{"n", sign + number(value, unit.decimals)}});
    }
    return {};
}

} // namespace quillmorph
