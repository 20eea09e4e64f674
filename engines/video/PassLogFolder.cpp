#include "PassLogFolder.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph::PassLogFolder {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view namePrefix = "quillmorph-passes-";

fs::path base() {
    std::error_code error;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && fs::is_directory(runtime, error))
        return runtime;
    fs::path temporary = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : temporary;
}

// Whether `entry` is a run folder of ours whose process no longer exists.
bool isOrphan(const fs::directory_entry& entry) {
    std::string name = entry.path().filename().string();
    if (!name.starts_with(namePrefix))
        return false;
    std::string_view rest = std::string_view(name).substr(namePrefix.size());
    pid_t pid = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    struct stat status {};
    if (error != std::errc() || end == rest.data() || *end != '-' || pid <= 0 ||
        lstat(entry.path().c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != geteuid())
        return false;
    return kill(pid, 0) != 0 && errno == ESRCH;
}

void removeOrphans(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        if (isOrphan(*entry))
            fs::remove_all(entry->path(), error);
    }
}

class RunFolder {
  public:
    RunFolder() {
        fs::path parent = base();
        std::string name = (parent / namePrefix).string() + std::to_string(getpid()) + "-XXXXXX";
        // mkdtemp makes it 0700.
        if (mkdtemp(name.data()))
            m_path = name;
        else
            m_failure = parent.string() + ": " + std::error_code(errno, std::system_category()).message();
    }
    ~RunFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    [[nodiscard]] tl::expected<fs::path, std::string> path() const {
        if (m_path.empty())
            return tl::unexpected(m_failure);
        return m_path;
    }

  private:
    fs::path m_path;
    std::string m_failure;
};

} // namespace

tl::expected<fs::path, std::string> freshPrefix() {
    static const RunFolder folder;
    static std::atomic<unsigned> files = 0;
    auto path = folder.path();
    if (path)
        removeOrphans(path->parent_path());
    return path.map([](const fs::path& run) { return run / ("pass-" + std::to_string(++files)); });
}

} // namespace quillmorph::PassLogFolder
