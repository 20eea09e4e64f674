#include "InstanceRegistry.h"

#include "common/RuntimeFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <signal.h>

namespace quillmorph::InstanceRegistry {
namespace {

const QString suffix = QStringLiteral(".socket");

bool isAlive(qint64 pid) {
    // EPERM: the process exists but belongs to someone else, which a per-user folder rules out.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString directory() {
    const std::optional<std::filesystem::path> folder = RuntimeFolder::path();
    return folder ? QString::fromStdString(folder->string()) : QString();
}

QString socketPath(qint64 pid) {
    const QString folder = directory();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QString::number(pid) + suffix;
}

QList<qint64> others() {
    const QString path = directory();
    if (path.isEmpty())
        return {};
    const QDir folder(path);
    QList<qint64> pids;
    for (const QFileInfo& entry :
         folder.entryInfoList({QLatin1Char('*') + suffix}, QDir::System | QDir::Files, QDir::Time)) {
        bool isNumber = false;
        const qint64 pid = entry.completeBaseName().toLongLong(&isNumber);
        if (!isNumber || pid == QCoreApplication::applicationPid())
            continue;
        if (isAlive(pid))
            pids.append(pid);
        else
            QFile::remove(entry.filePath());
    }
    return pids;
}

} // namespace quillmorph::InstanceRegistry
