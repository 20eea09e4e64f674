#pragma once

#include "app/AppDelegate.h"
#include "app/panels/PanelWindow.h"
#include "common/ActionKind.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
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

// The panel's view of type View, or null.
template <typename View> View* panelView(PanelWindow* panel) {
    return panel && panel->window() ? panel->window()->findChild<View*>() : nullptr;
}

// Starts `delegate` as the application starts with `urls`, and waits for the launch's work (the
// update check, a video probe) to end.
void launch(AppDelegate& delegate, const QStringList& urls);

// Takes the place of the desktop's handler for the URL schemes it is given while it exists, and
// records what the application asks it to open.
class UrlHandler : public QObject {
    Q_OBJECT

  public:
    explicit UrlHandler(const QStringList& schemes);
    ~UrlHandler() override;

    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.append(url); }

  private:
    QStringList m_schemes;
};

// Writes a w × h image of noise (so that it does not compress to nothing) in the format of the
// file's extension.
void writeNoiseImage(const std::filesystem::path& file, int width, int height);

// What a fake desktop service was asked.
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
    void clear();
    // Takes the two services off the bus, or puts them back.
    void setServicesPresent(bool present);

  public slots:
    // org.freedesktop.Notifications
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout);
    // org.freedesktop.FileManager1
    void ShowItems(const QStringList& uris, const QString& startupId);

  private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_connection;
    QList<Notification> m_notifications;
    QList<QStringList> m_shownItems;
};

} // namespace quillmorph::testing
