#include "ByteCount.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace quillmorph {
namespace {

struct Unit {
    std::string_view name;
    double size;
    int decimals; // at most; trailing zeros are dropped
};

constexpr std::array units{
    Unit{"KB", 1e3, 0}, Unit{"MB", 1e6, 1}, Unit{"GB", 1e9, 2}, Unit{"TB", 1e12, 2}, Unit{"PB", 1e15, 2},
};

std::string formatted(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string result = text;
    if (result.find('.') != std::string::npos) {
        result.erase(result.find_last_not_of('0') + 1);
        if (result.back() == '.')
            result.pop_back();
    }
    return result;
}

} // namespace

std::string formatByteCount(std::int64_t bytes) {
    if (bytes == 0)
        return "Zero KB";
    std::string sign = bytes < 0 ? "-" : "";
    double magnitude = std::fabs(double(bytes));
    if (magnitude < 1000)
        return sign + std::to_string(std::llabs(bytes)) + (magnitude == 1 ? " byte" : " bytes");
    for (std::size_t index = 0; index < units.size(); ++index) {
        const Unit& unit = units[index];
        double scale = std::pow(10.0, unit.decimals);
        double value = std::round(magnitude / unit.size * scale) / scale;
        // 999,999 bytes rounds to 1,000 KB: show it in the next unit instead.
        if (value < 1000 || index + 1 == units.size())
            return sign + formatted(value, unit.decimals) + " " + std::string(unit.name);
    }
    return {};
}

} // namespace quillmorph
