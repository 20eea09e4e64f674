#pragma once

#include "common/EnumText.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillmorph {

// The unit of the width/height fields; the raw value is also the picker label.
enum class SizeUnit { pixels, percent };

template <> struct EnumText<SizeUnit> { static constexpr std::array<std::string_view, 2> names{"PX", "%"}; };

// Parsing and formatting of the numbers typed into the size fields.
namespace NumberField {

// Accepts "50 %", "1,5", "120PX": lower-cased, "%" and "px" removed, "," read as ".", trimmed, then
// the whole rest as a C-locale decimal. Nothing unless finite and greater than 0.
[[nodiscard]] std::optional<double> parse(std::string_view text);

// One decimal at most: 12.04 → "12", 12.46 → "12.5", 99.96 → "100".
[[nodiscard]] std::string text(double value);
// percent as text(value); pixels as the integer max(1, rnd(value)).
[[nodiscard]] std::string text(double value, SizeUnit unit);

} // namespace NumberField
} // namespace quillmorph
