#pragma once

#include "updates/Fetch.h"

namespace quillmorph::NetworkFetch {

// The update checker's fetch over Qt Network: only http and https, no cache, redirects only to
// equally safe addresses, the whole exchange within the request's timeout, and reading stopped as
// soon as the body passes the request's limit. An HTTP error status still returns its body. Runs
// its own event loop, so call it from a worker thread (or from a test's main thread).
[[nodiscard]] tl::expected<std::string, FetchError> fetch(const FetchRequest& request);

} // namespace quillmorph::NetworkFetch
