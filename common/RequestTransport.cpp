#include "RequestTransport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdint>

namespace quillmorph::RequestTransport {
namespace {

constexpr std::string_view scheme = "quillmorph";
constexpr std::string_view payloadName = "payload";
constexpr std::string_view base64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t index = 0; index < bytes.size(); index += 3) {
        std::uint32_t group = std::uint32_t(std::uint8_t(bytes[index])) << 16;
        std::size_t count = std::min<std::size_t>(3, bytes.size() - index);
        if (count > 1)
            group |= std::uint32_t(std::uint8_t(bytes[index + 1])) << 8;
        if (count > 2)
            group |= std::uint8_t(bytes[index + 2]);
        for (std::size_t sextet = 0; sextet < 4; ++sextet)
            text += sextet <= count ? base64Alphabet[(group >> (18 - 6 * sextet)) & 0x3F] : '=';
    }
    return text;
}

// RFC 4648 §4, strictly: a multiple of four characters, padding only at the end, nothing skipped.
std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t index = 0; index < text.size(); index += 4) {
        std::uint32_t group = 0;
        for (std::size_t offset = 0; offset < 4; ++offset) {
            std::size_t position = index + offset;
            std::uint32_t value = 0;
            if (position < text.size() - padding) {
                auto found = base64Alphabet.find(text[position]);
                if (found == std::string_view::npos)
                    return std::nullopt;
                value = std::uint32_t(found);
            }
            group = group << 6 | value;
        }
        std::size_t count = index + 4 == text.size() ? 3 - padding : 3;
        for (std::size_t byte = 0; byte < count; ++byte)
            bytes += char((group >> (16 - 8 * byte)) & 0xFF);
    }
    return bytes;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decoding as a URL-components parser does it: "+" stays "+", a malformed escape makes
// the whole URL unparsable.
std::optional<std::string> percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '%') {
            decoded += text[index];
            continue;
        }
        if (index + 2 >= text.size())
            return std::nullopt;
        int high = hexValue(text[index + 1]);
        int low = hexValue(text[index + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        decoded += char(high << 4 | low);
        index += 2;
    }
    return decoded;
}

bool isSchemeCharacter(char c, bool first) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return first ? letter : letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::optional<std::string_view> schemeOf(std::string_view url) {
    auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    for (std::size_t index = 0; index < colon; ++index) {
        if (!isSchemeCharacter(url[index], index == 0))
            return std::nullopt;
    }
    return url.substr(0, colon);
}

struct QueryItem {
    std::string name;
    std::optional<std::string> value; // none when the item has no "="
};

// RFC 3986 §3.4: the query runs from the first "?" to the fragment's "#".
std::optional<std::vector<QueryItem>> queryItems(std::string_view url) {
    auto fragment = url.find('#');
    std::string_view beforeFragment = url.substr(0, fragment);
    auto question = beforeFragment.find('?');
    if (question == std::string_view::npos)
        return std::vector<QueryItem>{};
    std::string_view query = beforeFragment.substr(question + 1);
    std::vector<QueryItem> items;
    if (query.empty())
        return items;
    std::size_t start = 0;
    while (start <= query.size()) {
        auto end = query.find('&', start);
        std::string_view item = query.substr(start, end == std::string_view::npos ? end : end - start);
        auto equals = item.find('=');
        auto name = percentDecode(item.substr(0, equals));
        if (!name)
            return std::nullopt;
        QueryItem parsed{*name, std::nullopt};
        if (equals != std::string_view::npos) {
            parsed.value = percentDecode(item.substr(equals + 1));
            if (!parsed.value)
                return std::nullopt;
        }
        items.push_back(std::move(parsed));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return items;
}

std::optional<QuillmorphRequest> decodeBody(const std::string& json) {
    auto body = nlohmann::json::parse(json, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return std::nullopt;
    auto action = body.find("action");
    auto paths = body.find("paths");
    if (action == body.end() || paths == body.end() || !action->is_string() || !paths->is_array())
        return std::nullopt;
    auto kind = fromString<ActionKind>(action->get_ref<const std::string&>());
    if (!kind)
        return std::nullopt;
    QuillmorphRequest request{.action = *kind};
    for (const auto& path : *paths) {
        if (!path.is_string())
            return std::nullopt;
        request.paths.push_back(path.get<std::string>());
    }
    return request;
}

} // namespace

std::optional<std::string> url(const QuillmorphRequest& request) {
    std::string json;
    try {
        json = nlohmann::json{{"action", toString(request.action)}, {"paths", request.paths}}.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt; // paths that are not valid UTF-8
    }
    std::string body = base64Encode(json);
    std::ranges::replace(body, '+', '-');
    std::ranges::replace(body, '/', '_');
    std::erase(body, '=');
    return std::string(scheme) + "://run?" + std::string(payloadName) + "=" + body;
}

std::optional<QuillmorphRequest> request(std::string_view url) {
    if (schemeOf(url) != scheme)
        return std::nullopt;
    auto items = queryItems(url);
    if (!items || items->empty())
        return std::nullopt;
    auto payload = std::ranges::find(*items, payloadName, &QueryItem::name);
    if (payload == items->end() || !payload->value)
        return std::nullopt;
    std::string body = *payload->value;
    std::ranges::replace(body, '-', '+');
    std::ranges::replace(body, '_', '/');
    while (body.size() % 4 != 0)
        body += '=';
    auto json = base64Decode(body);
    if (!json)
        return std::nullopt;
    return decodeBody(*json);
}

} // namespace quillmorph::RequestTransport
