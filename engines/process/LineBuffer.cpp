#include "LineBuffer.h"

#include <memory>
#include <utility>

namespace quillmorph {

std::vector<std::string> LineBuffer::append(std::string_view bytes) {
    std::vector<std::string> lines;
    for (std::size_t feed; (feed = bytes.find('\n')) != std::string_view::npos;
         bytes.remove_prefix(feed + 1)) {
        m_partial.append(bytes.substr(0, feed));
        lines.push_back(std::exchange(m_partial, {}));
    }
    m_partial.append(bytes);
    return lines;
}

std::string LineBuffer::finish() {
    return std::exchange(m_partial, {});
}

ChildProcess::Handler byLine(std::function<void(std::string_view line)> lineHandler) {
    // The handler is copied into the reader; the buffer must travel with it.
    auto buffer = std::make_shared<LineBuffer>();
    return [buffer, lineHandler = std::move(lineHandler)](std::string_view bytes) {
        if (bytes.empty()) {
            if (std::string rest = buffer->finish(); !rest.empty())
                lineHandler(rest);
            return;
        }
        for (const std::string& line : buffer->append(bytes))
            lineHandler(line);
    };
}

} // namespace quillmorph
