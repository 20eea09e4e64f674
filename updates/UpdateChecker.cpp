#include "UpdateChecker.h"

#include "SiteLinks.h"
#include "WebAddress.h"
#include "common/Bundle.h"
#include "common/UserDefaults.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace quillmorph::UpdateChecker {
namespace {

Failure failure(FetchError error) {
    switch (error) {
    case FetchError::unreachable:
        return Failure::unreachable;
    case FetchError::timedOut:
        return Failure::timedOut;
    case FetchError::tooLarge:
        return Failure::tooLarge;
    }
    return Failure::unreachable;
}

std::int64_t leadingNumber(std::string_view piece) {
    const auto digits =
        std::ranges::find_if_not(piece, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    std::int64_t number = 0;
    const char* end = piece.data() + (digits - piece.begin());
    if (std::from_chars(piece.data(), end, number).ec != std::errc{})
        return 0;
    return number;
}

} // namespace

std::optional<std::string> feed() {
    if (auto stored = UserDefaults::string("QuillmorphUpdateFeed"); stored && isWebAddress(*stored))
        return stored;
    if (auto site = SiteLinks::home())
        return *site + (site->ends_with('/') ? "" : "/") + "version.json";
    return std::nullopt;
}

bool isEnabled() {
    return UserDefaults::boolean("QuillmorphChecksForUpdates").value_or(true);
}

std::optional<std::string> installedVersion() {
    if (Bundle::version().empty())
        return std::nullopt;
    return std::string(Bundle::version());
}

std::vector<std::int64_t> numbers(std::string_view version) {
    std::vector<std::int64_t> numbers;
    while (!version.empty()) {
        const std::size_t dot = version.find('.');
        const std::string_view piece = version.substr(0, dot);
        if (!piece.empty())
            numbers.push_back(leadingNumber(piece));
        version = dot == std::string_view::npos ? std::string_view{} : version.substr(dot + 1);
    }
    return numbers;
}

bool isNewer(std::string_view version, std::string_view than) {
    const std::vector<std::int64_t> a = numbers(version);
    const std::vector<std::int64_t> b = numbers(than);
    for (std::size_t index = 0; index < std::max(a.size(), b.size()); ++index) {
        const std::int64_t left = index < a.size() ? a[index] : 0;
        const std::int64_t right = index < b.size() ? b[index] : 0;
        if (left != right)
            return left > right;
    }
    return false;
}

tl::expected<std::optional<Release>, Failure> check(const std::optional<std::string>& feed,
                                                    const std::optional<std::string>& installed,
                                                    const Fetch& fetch, std::chrono::milliseconds timeout) {
    if (!feed)
        return tl::unexpected(Failure::noFeed);
    if (!installed)
        return tl::unexpected(Failure::unknownVersion);
    const auto body = fetch({.url = *feed, .timeout = timeout, .maximumBytes = maximumFeedBytes});
    if (!body)
        return tl::unexpected(failure(body.error()));
    // The status code is not examined: an error page is simply not a release.
    std::optional<Release> release = Release::decode(*body);
    if (!release)
        return tl::unexpected(Failure::malformedRelease);
    if (!isNewer(release->version, *installed))
        return std::nullopt;
    return release;
}

} // namespace quillmorph::UpdateChecker
