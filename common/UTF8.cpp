#include "UTF8.h"

#include <cstdint>

namespace quillmorph {

bool isValidUTF8(std::string_view text) {
    for (std::size_t index = 0; index < text.size();) {
        auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = lead < 0x80           ? 1
                             : (lead >> 5) == 0x6  ? 2
                             : (lead >> 4) == 0xE  ? 3
                             : (lead >> 3) == 0x1E ? 4
                                                   : 0;
        if (length == 0 || index + length > text.size())
            return false;
        std::uint32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t offset = 1; offset < length; ++offset) {
            auto next = static_cast<unsigned char>(text[index + offset]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if (codePoint < smallest[length] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
            codePoint > 0x10FFFF)
            return false;
        index += length;
    }
    return true;
}

} // namespace quillmorph
