#include "AppDelegate.h"
#include "AppIcon.h"
#include "InstanceChannel.h"
#include "TerminationSignal.h"
#include "common/Bundle.h"
#include "common/Log.h"
#include "engines/image/ImageEngine.h"

#include <QApplication>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <iostream>

using namespace quillmorph;

namespace {

void printHelp() {
    std::cout << "Usage: quillmorph [--new-instance] [URL...]\n"
                 "\n"
                 "Opens the options panel for each quillmorph:// request URL that the file manager's\n"
                 "context menu hands over, and converts the files when the panel is confirmed; every\n"
                 "result is written beside its source under a new name. Without a URL it shows the setup\n"
                 "window. A running instance takes the URLs (or shows its setup window) and the new\n"
                 "process ends at once.\n"
                 "\n"
                 "Options:\n"
                 "  --new-instance  start a fresh instance even when one is running; it asks older\n"
                 "                  running copies to quit\n"
                 "  --help          show this help and exit\n"
                 "  --version       show the version and exit\n"
                 "\n"
                 "Qt's own options, such as -platform NAME, are accepted too.\n";
}

} // namespace

int main(int argc, char** argv) {
    // Answered before anything needs a display.
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--help") == 0) {
            printHelp();
            return 0;
        }
        if (std::strcmp(argv[index], "--version") == 0) {
            std::cout << "quillmorph " << Bundle::version() << '\n';
            return 0;
        }
    }
    // A closed stderr (the log's copy) or socket peer is an error to handle, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);
    // Before any thread exists (starting the image library sets environment variables), and with the
    // untrusted image loaders blocked before any file is read.
    ImageEngine::start();
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Quillmorph"));
    application.setApplicationVersion(
        QString::fromUtf8(Bundle::version().data(), qsizetype(Bundle::version().size())));
    application.setDesktopFileName(QStringLiteral("com.harrowlane.Quillmorph"));
    // Every window, the panels and the progress window among them, shows the application's icon.
    application.setWindowIcon(AppIcon::icon());
    // Panels come and go; the quit rule of the application object decides when to end.
    application.setQuitOnLastWindowClosed(false);

    // QApplication has removed its own options from argv.
    QStringList urls;
    bool newInstance = false;
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (argument == QStringLiteral("--new-instance"))
            newInstance = true;
        else
            urls.append(argument);
    }

    // A running instance takes the request (or, without one, shows its setup window) and this one ends.
    if (!newInstance) {
        using Kind = InstanceChannel::Message::Kind;
        if (InstanceChannel::offer({.kind = urls.isEmpty() ? Kind::reopen : Kind::open, .urls = urls}))
            return 0;
    }

    InstanceChannel channel;
    if (!channel.listen())
        Log::error("app",
                   "socket dell'istanza non disponibile: le richieste successive apriranno un'altra copia");
    TerminationSignal termination;
    AppDelegate delegate;
    QObject::connect(&delegate, &AppDelegate::terminateRequested, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&termination, &TerminationSignal::received, &application, &QApplication::quit);
    QObject::connect(&channel, &InstanceChannel::quitRequested, &application, &QApplication::quit);
    QObject::connect(&channel, &InstanceChannel::urlsReceived, &delegate, &AppDelegate::openURLs);
    QObject::connect(&channel, &InstanceChannel::reopenRequested, &delegate,
                     &AppDelegate::applicationShouldHandleReopen);

    QTimer::singleShot(0, &delegate, [&delegate, urls] {
        delegate.applicationDidFinishLaunching();
        // The launch's request arrives before the setup window would open, and so suppresses it.
        if (!urls.isEmpty())
            delegate.openURLs(urls);
    });
    const int status = application.exec();
    // Windows closed on the way out are deleted later; later is now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
