#include "WebAddress.h"

#include <algorithm>
#include <cctype>

namespace quillmorph {
namespace {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::ranges::equal(text.substr(0, prefix.size()), prefix, [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

bool isBlankOrControl(char character) {
    const auto byte = static_cast<unsigned char>(character);
    return byte <= 0x20 || byte == 0x7f;
}

} // namespace

bool isWebAddress(std::string_view text) {
    std::string_view rest;
    if (startsWithIgnoringCase(text, "https://"))
        rest = text.substr(8);
    else if (startsWithIgnoringCase(text, "http://"))
        rest = text.substr(7);
    else
        return false;
    if (std::ranges::any_of(text, isBlankOrControl))
        return false;
    // The authority ends at the first "/", "?" or "#" (RFC 3986 §3.2); its host part must not be empty.
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    const std::string_view host =
        authority.substr(0, authority.starts_with('[') ? authority.find(']') + 1 : authority.find(':'));
    return !host.empty();
}

} // namespace quillmorph
