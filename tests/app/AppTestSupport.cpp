#include "AppTestSupport.h"

#include "common/Localization.h"
#include "common/RequestTransport.h"
#include "common/UserDefaults.h"
#include "engines/image/ImageEngine.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>

namespace quillmorph::testing {

PrivateEnvironment::PrivateEnvironment() {
    for (const char* folder : {"runtime", "config", "cache"})
        QDir(m_root.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(path(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", path(QStringLiteral("runtime")).toUtf8());
    qputenv("QUILLMORPH_CONFIG_DIR", path(QStringLiteral("config")).toUtf8());
    qputenv("XDG_CACHE_HOME", path(QStringLiteral("cache")).toUtf8());
    resetDefaults();
    Localization::setLanguage("en");
    // Before the panels' thumbnails start it on a pool thread: starting sets environment variables.
    ImageEngine::start();
}

void PrivateEnvironment::resetDefaults() {
    std::filesystem::remove(UserDefaults::file());
    // No update check reaches the product's web site; tests that check name a local feed.
    UserDefaults::setBoolean("QuillmorphChecksForUpdates", false);
}

QString requestURL(ActionKind action, const std::vector<std::filesystem::path>& files) {
    QuillmorphRequest request{.action = action};
    for (const std::filesystem::path& file : files)
        request.paths.push_back(file.string());
    return QString::fromStdString(RequestTransport::url(request).value());
}

void launch(AppDelegate& delegate, const QStringList& urls) {
    delegate.applicationDidFinishLaunching();
    if (!urls.isEmpty())
        delegate.openURLs(urls);
    QTRY_COMPARE_WITH_TIMEOUT(delegate.activeJobs(), 0, patience);
}

UrlHandler::UrlHandler(const QStringList& schemes) : m_schemes(schemes) {
    for (const QString& scheme : m_schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

UrlHandler::~UrlHandler() {
    for (const QString& scheme : m_schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void writeNoiseImage(const std::filesystem::path& file, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(width * 7919 + height);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(int(random.bounded(256)), (x * 255) / width, (y * 255) / height);
    }
    image.save(QString::fromStdString(file.string()));
}

PrivateSessionBus::PrivateSessionBus() {
    // A session bus without the system's service files: nothing is started on demand.
    const QString configuration = m_folder.filePath(QStringLiteral("session.conf"));
    QFile file(configuration);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir=" +
               m_folder.path().toUtf8() +
               "</listen><auth>EXTERNAL</auth>"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
               "</busconfig>\n");
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + configuration, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000))
        return;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_address, QStringLiteral("quillmorph-test-services")));
    m_connection->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                 QStringLiteral("org.freedesktop.Notifications"), this,
                                 QDBusConnection::ExportAllSlots);
    m_connection->registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                 QStringLiteral("org.freedesktop.FileManager1"), this,
                                 QDBusConnection::ExportAllSlots);
    m_connection->registerService(QStringLiteral("org.freedesktop.Notifications"));
    m_connection->registerService(QStringLiteral("org.freedesktop.FileManager1"));
}

PrivateSessionBus::~PrivateSessionBus() {
    if (m_connection) {
        m_connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("quillmorph-test-services"));
    }
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void PrivateSessionBus::setServicesPresent(bool present) {
    for (const QString& name :
         {QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("org.freedesktop.FileManager1")}) {
        if (present)
            m_connection->registerService(name);
        else
            m_connection->unregisterService(name);
    }
}

void PrivateSessionBus::clear() {
    m_notifications.clear();
    m_shownItems.clear();
}

uint PrivateSessionBus::Notify(const QString&, uint, const QString& appIcon, const QString& summary,
                               const QString& body, const QStringList&, const QVariantMap& hints, int) {
    m_notifications.append({summary, body, appIcon, hints.value(QStringLiteral("desktop-entry")).toString()});
    return uint(m_notifications.size());
}

void PrivateSessionBus::ShowItems(const QStringList& uris, const QString&) {
    m_shownItems.append(uris);
}

} // namespace quillmorph::testing
