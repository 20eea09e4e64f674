#pragma once

#include <string_view>

namespace quillmorph::Log {

// Whose syslog identity the messages go out under.
enum class Identity {
    own,  // the process is ours: syslog's identity becomes the bundle identifier
    guest // loaded into another program: its identity stays, each message starts with ours
};

// Messages go to syslog under the deliverable's bundle identifier, the category in front;
// also to stderr when QUILLMORPH_LOG=stderr.
void setIdentifier(std::string_view bundleIdentifier, Identity identity = Identity::own);
void debug(std::string_view category, std::string_view message);
void info(std::string_view category, std::string_view message);
void error(std::string_view category, std::string_view message);

} // namespace quillmorph::Log
