#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace quillmorph {

// Enumerations serialised by their raw values specialise EnumText with a `names` array listing
// the raw value of every case in declaration order; the cases must run 0, 1, 2, ...
template <typename E>
struct EnumText;

template <typename E>
concept TextEnum = std::is_enum_v<E> && requires { EnumText<E>::names; };

template <TextEnum E>
[[nodiscard]] constexpr std::string_view toString(E value) {
    return EnumText<E>::names[static_cast<std::size_t>(value)];
}

// Exact, case-sensitive: any text that is not a raw value gives nothing.
template <TextEnum E>
[[nodiscard]] constexpr std::optional<E> fromString(std::string_view text) {
    for (std::size_t index = 0; index < EnumText<E>::names.size(); ++index) {
        if (EnumText<E>::names[index] == text)
            return static_cast<E>(index);
    }
    return std::nullopt;
}

// Every case in declaration order.
template <TextEnum E>
[[nodiscard]] constexpr auto allCases() {
    std::array<E, EnumText<E>::names.size()> cases{};
    for (std::size_t index = 0; index < cases.size(); ++index)
        cases[index] = static_cast<E>(index);
    return cases;
}

} // namespace quillmorph
