#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillmorph::testing {

struct CommandResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

// Runs an external tool (ffmpeg, vips, pngcheck, qpdf, ...) the tests rely on, without a shell.
CommandResult runTool(const std::vector<std::string>& arguments);

// Runs `arguments` and fails the current test unless it exits 0.
void mustRun(const std::vector<std::string>& arguments);

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& contents);

// The names in `directory`, sorted, hidden ones included.
std::vector<std::string> namesIn(const std::filesystem::path& directory);

} // namespace quillmorph::testing
