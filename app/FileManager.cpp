#include "FileManager.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>
#include <algorithm>

namespace quillmorph::FileManager {
namespace {

void openFolder(const std::filesystem::path& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

// GNOME Files 43 selects nothing and may crash when ShowItems names several files of one folder,
// and other file managers open a window per file: one file per folder, in the order given.
std::vector<std::filesystem::path> firstOfEachFolder(const std::vector<std::filesystem::path>& files) {
    std::vector<std::filesystem::path> chosen;
    for (const std::filesystem::path& file : files) {
        if (std::ranges::none_of(chosen, [&](const std::filesystem::path& other) {
                return other.parent_path() == file.parent_path();
            }))
            chosen.push_back(file);
    }
    return chosen;
}

} // namespace

void showItems(const std::vector<std::filesystem::path>& files) {
    if (files.empty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(files.front());
        return;
    }
    QStringList uris;
    for (const std::filesystem::path& file : firstOfEachFolder(files))
        uris.append(QUrl::fromLocalFile(QString::fromStdString(file.string())).toString(QUrl::FullyEncoded));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, first = files.front()] {
        if (watcher->isError())
            openFolder(first);
        watcher->deleteLater();
    });
}

} // namespace quillmorph::FileManager
