#include "common/NumberText.h"

#include <array>
#include <charconv>

namespace quillmorph::NumberText {
namespace {

// Large enough for any double in fixed notation (309 integer digits) and its decimals.
using Buffer = std::array<char, 400>;

std::string written(const Buffer& buffer, std::to_chars_result result) {
    return result.ec == std::errc{} ? std::string(buffer.data(), std::size_t(result.ptr - buffer.data())) : std::string{};
}

} // namespace

std::string fixed(double value, int decimals) {
    Buffer buffer;
    return written(buffer, std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed, decimals));
}

std::string general(double value) {
    Buffer buffer;
    return written(buffer, std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::general, 6));
}

} // namespace quillmorph::NumberText
