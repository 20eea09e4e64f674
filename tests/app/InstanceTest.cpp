// GLib first: Qt defines "signals" as a keyword, which GIO's headers use as a name.
// clang-format off
#include "extension/RequestLaunch.h"
// clang-format on

#include "AppTestSupport.h"
#include "app/InstanceChannel.h"
#include "app/InstanceRegistry.h"
#include "common/UserDefaults.h"
#include "tests/support/Tools.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <unistd.h>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;
using Message = InstanceChannel::Message;

namespace {

// A running copy of the application whose log the test reads.
struct Instance : QProcess {
    Instance(const QString& program, const QStringList& arguments) {
        setProcessChannelMode(MergedChannels);
        start(program, arguments);
    }
    ~Instance() override {
        terminate();
        waitForFinished(patience);
    }
    const QString& log() { return m_log += QString::fromUtf8(readAll()); }
    bool endsWell() { return waitForFinished(patience) && exitStatus() == NormalExit && exitCode() == 0; }
    QString m_log;
};

} // namespace

class InstanceTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    fs::path sample() const { return folder() / "fractal.jpg"; }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_files;
    const QString m_application = QStringLiteral(QUILLMORPH_APPLICATION);

  private slots:
    void initTestCase() {
        QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start");
        fs::copy_file(fs::path(QUILLMORPH_SAMPLES) / "fractal.jpg", sample());
        // The desktop's handler of quillmorph URLs is this build's application.
        const QString data = m_environment.path(QStringLiteral("data"));
        fs::create_directories(data.toStdString() + "/applications");
        writeFile(data.toStdString() + "/applications/quillmorph-test.desktop",
                  "[Desktop Entry]\nType=Application\nName=Quillmorph\nExec=" + m_application.toStdString() +
                      " %U\nMimeType=x-scheme-handler/quillmorph;\n");
        writeFile(m_environment.path(QStringLiteral("config/mimeapps.list")).toStdString(),
                  "[Default Applications]\nx-scheme-handler/quillmorph=quillmorph-test.desktop\n");
        qputenv("XDG_DATA_HOME", data.toUtf8());
        qputenv("XDG_CONFIG_HOME", m_environment.path(QStringLiteral("config")).toUtf8());
        // The helpers this test starts speak English too, whatever the system's language.
        QVERIFY(UserDefaults::setString("QuillmorphLanguage", "en"));
    }

    void messages() {
        const QString url = QStringLiteral("quillmorph://run?payload=e30");
        const std::pair<QByteArray, std::optional<Message>> rows[] = {
            {"open\n" + url.toUtf8() + "\n\n", Message{.kind = Message::Kind::open, .urls = {url}}},
            {"quit\n\nopen\n", Message{.kind = Message::Kind::quit}}, // what follows is ignored
            {"open\n" + url.toUtf8() + "\n", std::nullopt},           // incomplete
            {"launch\n\n", std::nullopt},
            {"quit\n/etc/passwd\n\n", std::nullopt},
            {QByteArray("\xff\xfe\0\n\n", 5), std::nullopt}};
        for (const auto& [data, message] : rows) {
            QCOMPARE(InstanceChannel::decode(data), message);
            if (message)
                QCOMPARE(InstanceChannel::decode(InstanceChannel::encode(*message)), message);
        }
    }

    void requestsReachTheRunningInstanceAndAReplacedOneHandsThemOn() {
        const QString copy = QString::fromStdString((folder() / "quillmorph").string());
        QVERIFY(QFile::copy(m_application, copy));
        Instance running(copy, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(InstanceRegistry::others().contains(running.processId()), patience);
        const qint64 runningPid = running.processId(); // 0 once it has ended
        // The first request fixes what the executable was; its process never becomes an instance.
        QVERIFY(Instance(m_application, {requestURL(ActionKind::image, {sample()})}).endsWell());
        QTRY_VERIFY_WITH_TIMEOUT(
            running.log().contains(QStringLiteral("richiesta image: 1 di 1 file presenti")), patience);
        QCOMPARE(InstanceRegistry::others(), QList<qint64>{runningPid});

        const QString replacement = copy + QStringLiteral(".new");
        QVERIFY(QFile::copy(m_application, replacement));
        fs::rename(replacement.toStdString(), copy.toStdString());
        const QString url = requestURL(ActionKind::image, {sample()});
        QVERIFY(Instance(m_application, {url}).endsWell());
        QVERIFY(running.endsWell());
        QVERIFY(running.log().contains(
            QStringLiteral("binario sostituito: passo la richiesta a una copia nuova")));
        QVERIFY(!QFile::exists(InstanceRegistry::socketPath(runningPid)));
        // The fresh copy runs from the same path with the request.
        QTRY_COMPARE_WITH_TIMEOUT(InstanceRegistry::others().size(), qsizetype(1), patience);
        const qint64 fresh = InstanceRegistry::others().front();
        QCOMPARE(QString::fromStdString(readFile("/proc/" + std::to_string(fresh) + "/cmdline")),
                 copy + QStringLiteral("\0--new-instance\0") + url + QChar(0));

        // A new instance asks the older ones to quit; SIGTERM is an ordinary quit.
        Instance newer(m_application, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(
            newer.log().contains(QStringLiteral("chiudo una copia più vecchia (pid %1)").arg(fresh)),
            patience);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(InstanceRegistry::socketPath(fresh)), patience);
        const qint64 newerPid = newer.processId();
        newer.terminate();
        QVERIFY(newer.endsWell());
        QVERIFY(!QFile::exists(InstanceRegistry::socketPath(newerPid)));
    }

    void aRequestOfAnySizeReachesTheRunningInstanceWithoutNamesThatAreNotText() {
        Instance running(m_application, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(InstanceRegistry::others().contains(running.processId()), patience);
        // 10,000 photos with ordinary names make a URL of over a megabyte.
        const fs::path photos = folder() / "photos";
        fs::create_directories(photos);
        std::vector<std::string> paths;
        for (int index = 0; index < 10'000; ++index) {
            paths.push_back(
                (photos / ("holiday photo " + std::to_string(100'000 + index) + ".jpg")).string());
            fs::create_hard_link(sample(), paths.back());
        }
        const std::string notText = (photos / "caf\xe9.jpg").string();
        fs::create_hard_link(sample(), notText);

        std::vector<std::string> command{QUILLMORPH_OPEN, "image"};
        command.insert(command.end(), paths.begin(), paths.end());
        command.push_back(notText);
        const std::function<bool()> openers[] = {
            [&] { return testing::runTool(command).exitCode == 0; },
            [&] {
                return RequestLaunch::open({{.action = ActionKind::image,
                                             .paths = std::vector(command.begin() + 2, command.end())}});
            }};
        const QString received = QStringLiteral("richiesta image: 10000 di 10000 file presenti");
        for (qsizetype opened = 1; const auto& open : openers) {
            QVERIFY(open());
            QTRY_COMPARE_WITH_TIMEOUT(running.log().count(received), opened, patience);
            QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), opened, patience);
            QCOMPARE(
                m_bus.notifications().back().body,
                QStringLiteral(
                    "1 of the selected files could not be handed over: their names are not valid UTF-8."));
            ++opened;
        }
        // Each stored request was read once and removed.
        QCOMPARE(QDir(InstanceRegistry::directory()).entryList({QStringLiteral("request-*")}, QDir::Files),
                 QStringList());
    }

    void theFallbackFolderServesOnlyWhenItIsOursAndPrivate() {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const fs::path temporary = folder() / "tmp";
        qputenv("TMPDIR", QByteArray::fromStdString(temporary.string()));
        const fs::path shared = temporary / ("quillmorph-" + std::to_string(::getuid()));
        const fs::path elsewhere = folder() / "elsewhere";
        // Made here, 0700; else found there: open to others, a link to a private folder, someone else's.
        for (const int row : {0, 1, 2, 3}) {
            fs::remove_all(temporary);
            fs::remove_all(elsewhere);
            fs::create_directories(temporary);
            if (row > 0) {
                fs::create_directory(row == 2 ? elsewhere : shared);
                fs::permissions(row == 2 ? elsewhere : shared,
                                row == 1 ? fs::perms::owner_all | fs::perms::others_exec
                                         : fs::perms::owner_all);
                if (row == 2)
                    fs::create_directory_symlink(elsewhere, shared);
                if (row == 3 && (::geteuid() != 0 || ::chown(shared.c_str(), 65534, 65534) != 0))
                    continue;
            }
            QCOMPARE(InstanceRegistry::directory(), row == 0 ? QString::fromStdString(shared) : QString());
            QVERIFY(row > 0 || fs::status(shared).permissions() == fs::perms::owner_all);
        }
        // Without a folder, a process runs on its own: it neither offers its request nor listens.
        Instance alone(m_application, {requestURL(ActionKind::image, {sample()})});
        QTRY_VERIFY_WITH_TIMEOUT(alone.log().contains(QStringLiteral("richiesta image: 1 di 1")), patience);
        QVERIFY(alone.log().contains(QStringLiteral("socket dell'istanza non disponibile")));
        qputenv("XDG_RUNTIME_DIR", runtime);
        qunsetenv("TMPDIR");
    }
};

QTEST_MAIN(InstanceTest)
#include "InstanceTest.moc"
