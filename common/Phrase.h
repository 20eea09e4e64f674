#pragma once

#include "EnumText.h"

#include <cstdint>

namespace quillmorph {

// The closed catalogue of phrase keys; the texts live in the language document.
enum class Phrase : std::uint8_t {
#define QUILLMORPH_PHRASE(name, key) name,
#include "PhraseList.h"
#undef QUILLMORPH_PHRASE
};

template <>
struct EnumText<Phrase> {
    static constexpr std::array names{
#define QUILLMORPH_PHRASE(name, key) std::string_view{key},
#include "PhraseList.h"
#undef QUILLMORPH_PHRASE
    };
};

// The phrase `offset` places after `first` in catalogue order (audio format details, PDF resolutions).
[[nodiscard]] constexpr Phrase phraseAfter(Phrase first, std::size_t offset) {
    return static_cast<Phrase>(static_cast<std::size_t>(first) + offset);
}

} // namespace quillmorph
