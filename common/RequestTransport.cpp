#include "RequestTransport.h"

#include "FileDescriptor.h"
#include "RuntimeFolder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph::RequestTransport {
namespace {

constexpr std::string_view scheme = "quillmorph";
constexpr std::string_view payloadName = "payload";
constexpr std::string_view storedName = "stored";
constexpr std::string_view storedPrefix = "request-";
// Far beyond the URL of any selection a file manager can show.
constexpr off_t largestStoredURL = 64 * 1024 * 1024;
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

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

std::optional<std::string> store(const std::string& url) {
    const std::optional<std::filesystem::path> folder = RuntimeFolder::path();
    if (!folder)
        return std::nullopt;
    std::string file = (*folder / (std::string(storedPrefix) + "XXXXXX")).string();
    // mkstemp creates the file exclusively, mode 0600.
    FileDescriptor stored{::mkostemp(file.data(), O_CLOEXEC)};
    if (stored.get() < 0)
        return std::nullopt;
    if (!writeAll(stored.get(), url)) {
        ::unlink(file.c_str());
        return std::nullopt;
    }
    return std::string(scheme) + "://run?" + std::string(storedName) + "=" +
           std::filesystem::path(file).filename().string();
}

bool isStoredName(std::string_view name) {
    return name.starts_with(storedPrefix) && name.size() == storedPrefix.size() + 6 &&
           std::ranges::all_of(name.substr(storedPrefix.size()), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
           });
}

std::optional<std::string> take(std::string_view name) {
    const std::optional<std::filesystem::path> folder = RuntimeFolder::path();
    if (!folder || !isStoredName(name))
        return std::nullopt;
    const std::filesystem::path file = *folder / name;
    FileDescriptor stored{::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat status {};
    if (stored.get() < 0 || ::fstat(stored.get(), &status) != 0)
        return std::nullopt;
    // Whatever is there is used once at most.
    ::unlink(file.c_str());
    if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & 077) != 0 ||
        status.st_nlink != 1 || status.st_size > largestStoredURL)
        return std::nullopt;
    std::string url(std::size_t(status.st_size), '\0');
    std::size_t filled = 0;
    while (filled < url.size()) {
        const ssize_t count = ::read(stored.get(), url.data() + filled, url.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::nullopt;
        filled += std::size_t(count);
    }
    return url;
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

std::optional<std::string> passable(const std::string& url) {
    if (url.size() <= longestPassedURL)
        return url;
    return store(url);
}

std::optional<std::string> retrieved(const std::string& url) {
    if (schemeOf(url) != scheme)
        return url;
    const auto items = queryItems(url);
    if (!items)
        return url;
    const auto stored = std::ranges::find(*items, storedName, &QueryItem::name);
    if (stored == items->end() || std::ranges::find(*items, payloadName, &QueryItem::name) != items->end())
        return url;
    if (!stored->value)
        return std::nullopt;
    return take(*stored->value);
}

} // namespace quillmorph::RequestTransport
