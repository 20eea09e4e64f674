#include "QuillmorphRequest.h"

namespace quillmorph {

std::string fileURL(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        // RFC 3986 path characters: unreserved, sub-delims, ":", "@" and the "/" separator.
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     std::string_view("-._~!$&'()*+,;=:@/").find(char(c)) != std::string_view::npos;
        if (plain) {
            url += char(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return url;
}

std::vector<std::string> QuillmorphRequest::urls() const {
    std::vector<std::string> result;
    result.reserve(paths.size());
    for (const auto& path : paths)
        result.push_back(fileURL(path));
    return result;
}

} // namespace quillmorph
