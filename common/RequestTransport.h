#pragma once

#include "QuillmorphRequest.h"

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

} // namespace quillmorph::RequestTransport
