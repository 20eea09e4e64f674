#pragma once

#include "common/ActionKind.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <filesystem>
#include <memory>
#include <vector>

class QDBusConnection;

namespace quillmorph::testing {

// How long a test waits for background work, in ms: sanitizer builds on a shared machine are slow.
inline constexpr int patience = 60000;

// Gives the test process folders of its own: instance sockets ($XDG_RUNTIME_DIR), user defaults,
// thumbnail cache; and English texts. Call before anything reads them.
class PrivateEnvironment {
  public:
    PrivateEnvironment();
    [[nodiscard]] QString path(const QString& name) const { return m_root.filePath(name); }
    // Forgets every user default, except that update checks stay off.
    static void resetDefaults();

  private:
    QTemporaryDir m_root;
};

// The request URL the file-manager extension would open for these files.
[[nodiscard]] QString requestURL(ActionKind action, const std::vector<std::filesystem::path>& files);

struct Notification {
    QString title, body, appIcon, desktopEntry;
};

// A session bus of the test's own, with a notification service and a file manager that record what
// they are asked. Sets DBUS_SESSION_BUS_ADDRESS: create it before the first use of the session bus.
class PrivateSessionBus : public QObject {
    Q_OBJECT

  public:
    PrivateSessionBus();
    ~PrivateSessionBus() override;

    [[nodiscard]] bool isRunning() const { return !m_address.isEmpty(); }
    [[nodiscard]] const QList<Notification>& notifications() const { return m_notifications; }
    [[nodiscard]] const QList<QStringList>& shownItems() const { return m_shownItems; }
    void clear() { m_notifications.clear(), m_shownItems.clear(); }
    // Takes the two services off the bus, or puts them back.
    void setServicesPresent(bool present);

  public slots:
    // org.freedesktop.Notifications
    uint Notify(const QString&, uint, const QString& appIcon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int) {
        m_notifications.append(
            {summary, body, appIcon, hints.value(QStringLiteral("desktop-entry")).toString()});
        return uint(m_notifications.size());
    }
    // org.freedesktop.FileManager1
    void ShowItems(const QStringList& uris, const QString& /*startupId*/) { m_shownItems.append(uris); }

  private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_connection;
    QList<Notification> m_notifications;
    QList<QStringList> m_shownItems;
};

} // namespace quillmorph::testing
