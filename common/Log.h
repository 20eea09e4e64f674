#pragma once

#include <string_view>

namespace quillmorph::Log {

// Messages go to syslog under the deliverable's bundle identifier, the category in front;
// also to stderr when QUILLMORPH_LOG=stderr.
void setIdentifier(std::string_view bundleIdentifier);
void info(std::string_view category, std::string_view message);
void error(std::string_view category, std::string_view message);

} // namespace quillmorph::Log
