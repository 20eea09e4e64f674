#pragma once

#include <string>

namespace quillmorph::NumberText {

// Numbers that leave the program as text (ffmpeg arguments and filter graphs, file contents,
// entry fields) are written with a '.' whatever the process locale: Qt sets LC_NUMERIC from
// the environment, and printf under de_DE writes "30,000" where ffmpeg reads a filter name.

// `decimals` digits after the point, rounded half to even as printf's "%.*f" does.
[[nodiscard]] std::string fixed(double value, int decimals);

// As printf's "%g": six significant digits, trailing zeros dropped.
[[nodiscard]] std::string general(double value);

} // namespace quillmorph::NumberText
