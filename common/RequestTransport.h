#pragma once

#include "QuillmorphRequest.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillmorph::RequestTransport {

// quillmorph://run?payload=BODY, BODY being the JSON request in unpadded base64url (RFC 4648 §5).
// Nothing when the request cannot be serialised.
[[nodiscard]] std::optional<std::string> url(const QuillmorphRequest& request);

// The request a URL carries. Nothing, silently, for a scheme other than exactly "quillmorph", no
// query, no "payload" item or one without a value, invalid base64 (strict: no character is
// skipped), malformed JSON, a missing or mistyped key, or an unknown action. Any host is accepted;
// the first "payload" item wins; padded standard-alphabet base64 is accepted too.
[[nodiscard]] std::optional<QuillmorphRequest> request(std::string_view url);

// Linux refuses any single command-line argument over 128 KiB, and the desktop starts the
// application with the URL as one: a longer URL travels as a stored request.
inline constexpr std::size_t longestPassedURL = 32 * 1024;

// What to hand to the desktop for `url`: the URL itself up to longestPassedURL bytes; otherwise
// quillmorph://run?stored=NAME, the URL being written to the new file NAME, readable by this user
// only, in the runtime folder. Nothing when it cannot be stored.
[[nodiscard]] std::optional<std::string> passable(const std::string& url);

// The URL to decode for one received: a stored request is read from the runtime folder and
// removed, so it serves once; nothing when it is missing or not a plain file of this user's alone.
// Any other URL comes back as it is.
[[nodiscard]] std::optional<std::string> retrieved(const std::string& url);

} // namespace quillmorph::RequestTransport
