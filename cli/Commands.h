#pragma once

#include <span>
#include <string_view>

namespace quillmorph::cli {

// Exit codes of every command.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

using Arguments = std::span<const std::string_view>;

struct Command {
    std::string_view name;
    std::string_view synopsis; // the arguments, as shown by --help
    std::string_view summary;  // what it does, one or more lines
    int (*run)(Arguments arguments);
};

int urlCommand(Arguments arguments);
int decodeCommand(Arguments arguments);
int phraseCommand(Arguments arguments);
int imageCommand(Arguments arguments);
int pdfCommand(Arguments arguments);
int audioCommand(Arguments arguments);
int extractAudioCommand(Arguments arguments);
int videoCommand(Arguments arguments);
int posterCommand(Arguments arguments);

} // namespace quillmorph::cli
