#include "Notifications.h"

#include "AppIcon.h"
#include "engines/batch/BatchReport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace quillmorph::Notifications {

void notify(const QString& title, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The desktop entry groups the notifications under the application; the icon is its theme name.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), AppIcon::name()}};
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (server default).
    call << QStringLiteral("Quillmorph") << 0u << AppIcon::name() << title << body << QStringList() << hints
         << -1;
    // No reply is awaited: a missing or slow service never holds anything up.
    call.setAutoStartService(true);
    bus.asyncCall(call);
}

void report(const std::vector<JobOutcome>& outcomes, std::string_view verb, Phrase countPhrase) {
    const BatchSummary summary = BatchReport::summarize(outcomes, verb, countPhrase);
    notify(QString::fromStdString(summary.title), QString::fromStdString(summary.body));
}

} // namespace quillmorph::Notifications
