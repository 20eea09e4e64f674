#pragma once

#include "ChildProcess.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmorph {

// Cuts a byte stream arriving in chunks into lines at line feeds; a carriage return stays part of
// its line. Works on bytes, so a chunk that ends inside a UTF-8 sequence loses nothing. One buffer
// serves one stream from one thread.
class LineBuffer {
  public:
    // The lines that `bytes` completes, in order, without their line feeds; the unfinished rest
    // waits for the next chunk.
    [[nodiscard]] std::vector<std::string> append(std::string_view bytes);

    // The unfinished rest once the stream has ended (empty when the stream ended with a line feed).
    [[nodiscard]] std::string finish();

  private:
    std::string m_partial;
};

// A process handler that hands `lineHandler` each complete line, and the unfinished last one when
// the stream ends, unless it is empty.
[[nodiscard]] ChildProcess::Handler byLine(std::function<void(std::string_view line)> lineHandler);

} // namespace quillmorph
