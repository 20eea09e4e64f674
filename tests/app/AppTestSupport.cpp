#include "AppTestSupport.h"

#include "common/Localization.h"
#include "common/RequestTransport.h"
#include "common/UserDefaults.h"
#include "engines/image/ImageEngine.h"

#include <QDBusConnection>
#include <QFile>

namespace quillmorph::testing {

namespace {

const QString services[] = {QStringLiteral("org.freedesktop.Notifications"),
                            QStringLiteral("org.freedesktop.FileManager1")};

} // namespace

PrivateEnvironment::PrivateEnvironment() {
    for (const char* folder : {"runtime", "config", "cache"})
        std::filesystem::create_directory(path(QString::fromLatin1(folder)).toStdString());
    std::filesystem::permissions(path(QStringLiteral("runtime")).toStdString(),
                                 std::filesystem::perms::owner_all);
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

PrivateSessionBus::PrivateSessionBus() {
    // A session bus without the system's service files: nothing is started on demand.
    const QString configuration = m_folder.filePath(QStringLiteral("session.conf"));
    if (QFile file(configuration);
        !file.open(QIODevice::WriteOnly) ||
        file.write("<busconfig><type>session</type><listen>unix:dir=" + m_folder.path().toUtf8() +
                   "</listen><auth>EXTERNAL</auth>"
                   "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                   "</busconfig>\n") < 0)
        return;
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + configuration, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000))
        return;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_address, QStringLiteral("quillmorph-test-services")));
    for (const QString& service : services)
        m_connection->registerObject(QLatin1Char('/') +
                                         QString(service).replace(QLatin1Char('.'), QLatin1Char('/')),
                                     service, this, QDBusConnection::ExportAllSlots);
    setServicesPresent(true);
}

PrivateSessionBus::~PrivateSessionBus() {
    m_connection.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("quillmorph-test-services"));
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void PrivateSessionBus::setServicesPresent(bool present) {
    for (const QString& service : services)
        present ? m_connection->registerService(service) : m_connection->unregisterService(service);
}

} // namespace quillmorph::testing
