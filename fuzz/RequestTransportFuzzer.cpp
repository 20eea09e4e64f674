// Any text handed to the application as a URL: decoding must never crash, and whatever decodes
// must survive a round trip through the encoder.
#include "common/RequestTransport.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::string_view url : {text, std::string_view{}}) {
        auto request = quillmorph::RequestTransport::request(url);
        if (!request)
            continue;
        auto encoded = quillmorph::RequestTransport::url(*request);
        if (encoded && quillmorph::RequestTransport::request(*encoded) != request)
            std::abort();
    }
    std::string prefixed = "quillmorph://run?payload=" + std::string(text);
    if (auto request = quillmorph::RequestTransport::request(prefixed)) {
        if (auto encoded = quillmorph::RequestTransport::url(*request);
            encoded && quillmorph::RequestTransport::request(*encoded) != request)
            std::abort();
    }
    return 0;
}
