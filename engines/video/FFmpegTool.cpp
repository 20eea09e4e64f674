#include "FFmpegTool.h"

#include "common/Bundle.h"
#include "common/UserDefaults.h"

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph::FFmpegTool {
namespace {

constexpr std::string_view ignoreKey = "QuillmorphIgnoreFFmpeg";

std::mutex overrideMutex;
std::optional<std::vector<std::string>> folderOverride;

bool isExecutableFile(const std::string& candidate) {
    struct stat status {};
    return stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(candidate.c_str(), X_OK) == 0;
}

} // namespace

std::vector<std::string> searchFolders() {
    {
        std::lock_guard lock(overrideMutex);
        if (folderOverride)
            return *folderOverride;
    }
    std::vector<std::string> folders{Bundle::helpersDirectory().string()};
    if (const char* folder = std::getenv("QUILLMORPH_FFMPEG_DIR"))
        folders.emplace_back(folder);
    folders.insert(folders.end(), {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin"});
    return folders;
}

void setSearchFolders(std::optional<std::vector<std::string>> folders) {
    std::lock_guard lock(overrideMutex);
    folderOverride = std::move(folders);
}

std::optional<std::filesystem::path> path(std::string_view tool) {
    for (const std::string& folder : searchFolders()) {
        std::string candidate = folder + "/" + std::string(tool);
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

bool isAvailable() {
    if (UserDefaults::boolean(ignoreKey).value_or(false))
        return false;
    return path(ffmpeg) && path(ffprobe);
}

} // namespace quillmorph::FFmpegTool
