#include "NumberField.h"

#include "common/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quillmorph::NumberField {
namespace {

void removeAll(std::string& text, std::string_view part) {
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at))
        text.erase(at, part.size());
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Any whole double printed exactly, so values beyond the 64-bit range need no cast.
std::string wholeText(double value) {
    return NumberText::fixed(value, 0);
}

} // namespace

std::optional<double> parse(std::string_view input) {
    std::string text(input);
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    removeAll(text, "%");
    removeAll(text, "px");
    std::ranges::replace(text, ',', '.');
    std::string_view number = trimmed(text);
    // from_chars reads the C locale's decimal form but refuses an explicit plus sign.
    if (number.size() > 1 && number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc{} || end != number.data() + number.size())
        return std::nullopt;
    if (!std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

std::string text(double value) {
    const double rounded = std::round(value * 10) / 10;
    if (rounded == std::floor(rounded))
        return wholeText(rounded);
    return NumberText::general(rounded);
}

std::string text(double value, SizeUnit unit) {
    switch (unit) {
    case SizeUnit::percent:
        return text(value);
    case SizeUnit::pixels:
        return wholeText(std::max(1.0, std::round(value)));
    }
    return {};
}

} // namespace quillmorph::NumberField
