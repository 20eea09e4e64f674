#pragma once

#include <string_view>

namespace quillmorph::UnicodeNumeric {

// Whether the code point has a Unicode numeric type (Decimal, Digit or Numeric): ASCII and other
// script digits, fullwidth digits, superscripts, vulgar fractions, Roman numerals, circled
// numbers and the Han numerals.
[[nodiscard]] bool isNumeric(char32_t codePoint);

// Whether `utf8` is non-empty, well-formed UTF-8 and every code point of it is numeric.
[[nodiscard]] bool isNumericText(std::string_view utf8);

} // namespace quillmorph::UnicodeNumeric
