// GLib first: Qt defines "signals" as a keyword, which GIO's headers use as a name.
#include "extension/RequestLaunch.h"

#include "AppTestSupport.h"
#include "app/InstanceChannel.h"
#include "app/InstanceRegistry.h"
#include "app/StaleBuild.h"
#include "common/UserDefaults.h"
#include "tests/support/Tools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;
using Message = InstanceChannel::Message;

namespace {

void setModificationTime(const fs::path& file, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// A running copy of the application whose log the test reads.
class Instance {
  public:
    explicit Instance(const QString& program, const QStringList& arguments) {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
    }
    ~Instance() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(patience);
        }
    }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }
    // Everything logged so far.
    const QString& log() {
        m_log += QString::fromUtf8(m_process.readAll());
        return m_log;
    }
    QProcess& process() { return m_process; }

  private:
    QProcess m_process;
    QString m_log;
};

bool isRegistered(qint64 pid) {
    return InstanceRegistry::others().contains(pid);
}

QString commandLine(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().replace('\0', ' ')) : QString();
}

} // namespace

class InstanceTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    fs::path sample() {
        const fs::path copy = folder() / "fractal.jpg";
        if (!fs::exists(copy))
            fs::copy_file(fs::path(QUILLMORPH_SAMPLES) / "fractal.jpg", copy);
        return copy;
    }
    // Runs the application with `arguments` and waits for it to end; its exit code.
    static int runToEnd(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(patience))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_files;
    const QString m_application = QStringLiteral(QUILLMORPH_APPLICATION);

  private slots:
    void initTestCase() {
        QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start");
        // The desktop's handler of quillmorph URLs is this build's application.
        const QString data = m_environment.path(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(data + QStringLiteral("/applications")));
        QFile entry(data + QStringLiteral("/applications/quillmorph-test.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Quillmorph\nExec=" + m_application.toUtf8() +
                    " %U\nMimeType=x-scheme-handler/quillmorph;\n");
        entry.close();
        QFile defaults(m_environment.path(QStringLiteral("config/mimeapps.list")));
        QVERIFY(defaults.open(QIODevice::WriteOnly));
        defaults.write("[Default Applications]\nx-scheme-handler/quillmorph=quillmorph-test.desktop\n");
        defaults.close();
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

    void identityChangesWhenTheFileIsTouchedOrReplaced() {
        const fs::path file = folder() / "program";
        QFile::copy(m_application, QString::fromStdString(file.string()));
        setModificationTime(file, 1'700'000'000);
        const auto launched = StaleBuild::identity(file);
        QVERIFY(launched);
        QCOMPARE(StaleBuild::identity(file), launched);

        setModificationTime(file, 1'700'000'001);
        QVERIFY(StaleBuild::identity(file) != launched);

        // A new file with the very same modification time: only the inode tells.
        setModificationTime(file, 1'700'000'000);
        const fs::path replacement = folder() / "program.new";
        fs::copy_file(file, replacement);
        setModificationTime(replacement, 1'700'000'000);
        fs::rename(replacement, file);
        const auto replaced = StaleBuild::identity(file);
        QVERIFY(replaced);
        QCOMPARE(replaced->modifiedNanoseconds, launched->modifiedNanoseconds);
        QVERIFY(replaced->fileNumber != launched->fileNumber);

        QVERIFY(!StaleBuild::identity(folder() / "absent"));
    }

    void requestsReachTheRunningInstanceAndAReplacedOneHandsThemOn() {
        const QString copy = QString::fromStdString((folder() / "quillmorph").string());
        QVERIFY(QFile::copy(m_application, copy));
        Instance running(copy, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(isRegistered(running.pid()), patience);
        const qint64 runningPid = running.pid(); // 0 once it has ended
        // The first request fixes what the executable was; its process never becomes an instance.
        QCOMPARE(runToEnd(m_application, {requestURL(ActionKind::image, {sample()})}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            running.log().contains(QStringLiteral("richiesta image: 1 di 1 file presenti")), patience);
        QCOMPARE(InstanceRegistry::others(), QList<qint64>{runningPid});

        const QString replacement = copy + QStringLiteral(".new");
        QVERIFY(QFile::copy(m_application, replacement));
        fs::rename(replacement.toStdString(), copy.toStdString());
        const QString url = requestURL(ActionKind::image, {sample()});
        QCOMPARE(runToEnd(m_application, {url}), 0);
        QVERIFY(running.process().waitForFinished(patience));
        QCOMPARE(running.process().exitCode(), 0);
        QVERIFY(running.log().contains(
            QStringLiteral("binario sostituito: passo la richiesta a una copia nuova")));
        QVERIFY(!QFile::exists(InstanceRegistry::socketPath(runningPid)));
        // The fresh copy runs from the same path with the request.
        QTRY_COMPARE_WITH_TIMEOUT(InstanceRegistry::others().size(), qsizetype(1), patience);
        const qint64 fresh = InstanceRegistry::others().front();
        QCOMPARE(commandLine(fresh), copy + QStringLiteral(" --new-instance ") + url + QLatin1Char(' '));

        // A new instance asks the older ones to quit; SIGTERM is an ordinary quit.
        Instance newer(m_application, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(
            newer.log().contains(QStringLiteral("chiudo una copia più vecchia (pid %1)").arg(fresh)), patience);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(InstanceRegistry::socketPath(fresh)), patience);
        const qint64 newerPid = newer.pid();
        newer.process().terminate();
        QVERIFY(newer.process().waitForFinished(patience));
        QCOMPARE(newer.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(newer.process().exitCode(), 0);
        QVERIFY(!QFile::exists(InstanceRegistry::socketPath(newerPid)));
    }

    void aRequestOfAnySizeReachesTheRunningInstanceWithoutNamesThatAreNotText() {
        Instance running(m_application, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(isRegistered(running.pid()), patience);
        // 10,000 photos with ordinary names make a URL of over a megabyte.
        const fs::path photos = folder() / "photos";
        fs::create_directories(photos);
        std::vector<std::string> paths;
        for (int index = 0; index < 10'000; ++index) {
            paths.push_back((photos / ("holiday photo " + std::to_string(100'000 + index) + ".jpg")).string());
            fs::create_hard_link(sample(), paths.back());
        }
        const std::string notText = (photos / "caf\xe9.jpg").string();
        fs::create_hard_link(sample(), notText);

        std::vector<std::string> command{QUILLMORPH_OPEN, "image"};
        command.insert(command.end(), paths.begin(), paths.end());
        command.push_back(notText);
        const std::function<bool()> openers[] = {
            [&] { return testing::runTool(command).exitCode == 0; },
            [&] { return RequestLaunch::open({{.action = ActionKind::image, .paths = std::vector(command.begin() + 2, command.end())}}); }};
        const QString received = QStringLiteral("richiesta image: 10000 di 10000 file presenti");
        for (qsizetype opened = 1; const auto& open : openers) {
            QVERIFY(open());
            QTRY_COMPARE_WITH_TIMEOUT(running.log().count(received), opened, patience);
            QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), opened, patience);
            QCOMPARE(m_bus.notifications().back().body,
                     QStringLiteral("1 of the selected files could not be handed over: their names are not valid UTF-8."));
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
        const auto privateFolder = [](const fs::path& path) {
            fs::create_directory(path);
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
        };
        std::vector<std::pair<const char*, std::function<void()>>> rows{
            {"made here, 0700", [] {}},
            {"open to others",
             [&] {
                 privateFolder(shared);
                 fs::permissions(shared, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
             }},
            {"a link to a private folder",
             [&] {
                 privateFolder(elsewhere);
                 fs::create_directory_symlink(elsewhere, shared);
             }}};
        if (::geteuid() == 0)
            rows.push_back({"someone else's", [&] {
                                privateFolder(shared);
                                QCOMPARE(::chown(shared.c_str(), 65534, 65534), 0);
                            }});
        for (const auto& [name, plant] : rows) {
            fs::remove_all(temporary);
            fs::remove_all(elsewhere);
            fs::create_directories(temporary);
            plant();
            const bool accepted = name == rows.front().first;
            QCOMPARE(InstanceRegistry::directory(), accepted ? QString::fromStdString(shared.string()) : QString());
            if (accepted)
                QCOMPARE(fs::status(shared).permissions(), fs::perms::owner_all);
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
