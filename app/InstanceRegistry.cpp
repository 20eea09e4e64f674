#include "InstanceRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <signal.h>
#include <unistd.h>

namespace quillmorph::InstanceRegistry {
namespace {

const QString suffix = QStringLiteral(".socket");

bool isAlive(qint64 pid) {
    // EPERM: the process exists but belongs to someone else, which a per-user folder rules out.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString directory() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = runtime.isEmpty()
                               ? QDir::tempPath() + QStringLiteral("/quillmorph-%1").arg(::getuid())
                               : runtime + QStringLiteral("/quillmorph");
    if (QDir().mkpath(folder))
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

QString socketPath(qint64 pid) {
    return directory() + QLatin1Char('/') + QString::number(pid) + suffix;
}

QList<qint64> others() {
    const QDir folder(directory());
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
