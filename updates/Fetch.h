#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <tl/expected.hpp>

namespace quillmorph {

enum class FetchError {
    unreachable, // no answer: no connection, a transport error, or an HTTP error without a body
    timedOut,    // no complete answer within the time allowed
    tooLarge,    // the body grew past the limit; reading stopped there
};

struct FetchRequest {
    std::string url;
    std::chrono::milliseconds timeout{10000}; // for the whole exchange, body included
    std::size_t maximumBytes = 0;             // the body may not be longer

    bool operator==(const FetchRequest&) const = default;
};

// Fetches one document from the network, bypassing every cache, and returns its body whatever the
// status code. Blocks the calling thread, which must not be the main thread.
using Fetch = std::function<tl::expected<std::string, FetchError>(const FetchRequest&)>;

} // namespace quillmorph
