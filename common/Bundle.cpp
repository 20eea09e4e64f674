#include "Bundle.h"

#include <cstdlib>
#include <mutex>

namespace quillmorph::Bundle {
namespace {

std::mutex resourceMutex;
std::filesystem::path chosenResourceDirectory;

// bin/ of the running executable's installation (or of the build tree, which has the same layout).
std::filesystem::path prefix() {
    std::error_code error;
    auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : executable.parent_path().parent_path();
}

} // namespace

std::string_view version() { return QUILLMORPH_VERSION; }

std::string_view site() { return QUILLMORPH_SITE; }

std::filesystem::path resourceDirectory() {
    if (const char* overridden = std::getenv("QUILLMORPH_RESOURCE_DIR"); overridden && *overridden)
        return overridden;
    std::lock_guard lock(resourceMutex);
    if (!chosenResourceDirectory.empty())
        return chosenResourceDirectory;
    return prefix() / "share" / "quillmorph";
}

void setResourceDirectory(std::filesystem::path directory) {
    std::lock_guard lock(resourceMutex);
    chosenResourceDirectory = std::move(directory);
}

std::optional<std::filesystem::path> resource(std::string_view name) {
    auto candidate = resourceDirectory() / name;
    std::error_code error;
    if (!std::filesystem::is_regular_file(candidate, error))
        return std::nullopt;
    return candidate;
}

std::filesystem::path helpersDirectory() { return prefix() / "libexec" / "quillmorph"; }

} // namespace quillmorph::Bundle
