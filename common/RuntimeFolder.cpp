#include "RuntimeFolder.h"

#include "Log.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph::RuntimeFolder {

std::optional<std::filesystem::path> path() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    const std::filesystem::path parent = runtime != nullptr && *runtime != '\0'
                                             ? std::filesystem::path(runtime)
                                             : std::filesystem::temp_directory_path(error);
    const std::filesystem::path folder =
        parent / (runtime != nullptr && *runtime != '\0' ? std::string("quillmorph")
                                                          : "quillmorph-" + std::to_string(::getuid()));
    if (error || !parent.is_absolute() || (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)) {
        Log::error("runtime", "cartella privata non creata: " + folder.string());
        return std::nullopt;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() ||
        (status.st_mode & 077) != 0) {
        Log::error("runtime", "cartella rifiutata, non nostra o non privata: " + folder.string());
        return std::nullopt;
    }
    return folder;
}

} // namespace quillmorph::RuntimeFolder
