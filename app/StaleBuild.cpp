#include "StaleBuild.h"

#include "InstanceChannel.h"
#include "InstanceRegistry.h"
#include "common/Log.h"

#include <QProcess>
#include <QTimer>
#include <chrono>
#include <string>
#include <sys/stat.h>

namespace quillmorph::StaleBuild {
namespace {

constexpr std::string_view category = "build";
constexpr std::chrono::milliseconds handOverDelay{400};

} // namespace

std::optional<Identity> identity(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return std::nullopt;
    return Identity{.fileNumber = status.st_ino,
                    .modifiedNanoseconds =
                        std::int64_t(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::filesystem::path executable() {
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    // The kernel's name for an executable whose file was replaced or removed.
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.erase(path.size() - deleted.size());
    return path;
}

bool isStale() {
    static const std::optional<Identity> launched = identity(executable());
    if (!launched)
        return false;
    const std::optional<Identity> now = identity(executable());
    return now && *now != *launched;
}

void handOver(const QStringList& urls, std::function<void()> terminate) {
    Log::info(category, "binario sostituito: passo la richiesta a una copia nuova");
    QProcess::startDetached(QString::fromStdString(executable().string()),
                            QStringList{QStringLiteral("--new-instance")} + urls);
    QTimer::singleShot(handOverDelay, std::move(terminate));
}

void closeOtherCopies() {
    for (const qint64 pid : InstanceRegistry::others()) {
        Log::info(category, "chiudo una copia più vecchia (pid " + std::to_string(pid) + ")");
        InstanceChannel::requestQuit(pid);
    }
}

} // namespace quillmorph::StaleBuild
