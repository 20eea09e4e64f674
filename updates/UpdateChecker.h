#pragma once

#include "Fetch.h"
#include "Release.h"
#include "common/EnumText.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

namespace quillmorph::UpdateChecker {

enum class Failure {
    noFeed,           // no feed address could be formed
    unknownVersion,   // the running version cannot be read
    unreachable,      // the feed did not answer
    timedOut,         // the feed did not answer in time
    tooLarge,         // the feed sent more than a release record can be
    malformedRelease, // the feed's answer is not a release (an error page, not JSON, a bad address)
};

inline constexpr std::chrono::milliseconds timeout{10000};
// A release record is a few hundred bytes; anything this long is not one.
inline constexpr std::size_t maximumFeedBytes = 256 * 1024;

// "QuillmorphUpdateFeed" from the user defaults when it is a web address, else "version.json" at
// the site's root (SiteLinks::home); nothing without a site.
[[nodiscard]] std::optional<std::string> feed();
// "QuillmorphChecksForUpdates", true unless stored as false.
[[nodiscard]] bool isEnabled();
// The running version; nothing when it is empty.
[[nodiscard]] std::optional<std::string> installedVersion();

// The numbers of a dotted version: each piece's leading digits, 0 when there are none or they
// overflow; empty pieces dropped. "1.10.2-beta" gives 1, 10, 2; "2.0b3" gives 2, 0.
[[nodiscard]] std::vector<std::int64_t> numbers(std::string_view version);
// Compares number by number, a missing number counting as 0: "1.2" and "1.2.0" are equal.
[[nodiscard]] bool isNewer(std::string_view version, std::string_view than);

// Fetches the feed without any cache and answers the release when it is newer than `installed`,
// nothing when it is not. Blocks; call it off the main thread.
[[nodiscard]] tl::expected<std::optional<Release>, Failure>
check(const std::optional<std::string>& feed, const std::optional<std::string>& installed, const Fetch& fetch,
      std::chrono::milliseconds timeout = UpdateChecker::timeout);

} // namespace quillmorph::UpdateChecker

namespace quillmorph {

template <> struct EnumText<UpdateChecker::Failure> {
    static constexpr std::array<std::string_view, 6> names{"noFeed",   "unknownVersion", "unreachable",
                                                           "timedOut", "tooLarge",       "malformedRelease"};
};

} // namespace quillmorph
