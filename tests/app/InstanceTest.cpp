#include "AppTestSupport.h"
#include "app/InstanceChannel.h"
#include "app/InstanceRegistry.h"
#include "app/StaleBuild.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

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
    QTemporaryDir m_files;
    const QString m_application = QStringLiteral(QUILLMORPH_APPLICATION);

  private slots:
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

    void aSecondProcessHandsOverAndANewInstanceReplacesTheOld() {
        Instance first(m_application, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(isRegistered(first.pid()), patience);
        const qint64 firstPid = first.pid(); // 0 once it has ended
        QCOMPARE(runToEnd(m_application, {requestURL(ActionKind::image, {sample()})}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            first.log().contains(QStringLiteral("richiesta image: 1 di 1 file presenti")), patience);
        // The second process never became an instance of its own.
        QCOMPARE(InstanceRegistry::others(), QList<qint64>{firstPid});

        Instance newer(m_application, {QStringLiteral("--new-instance")});
        QVERIFY(first.process().waitForFinished(patience));
        QCOMPARE(first.process().exitCode(), 0);
        QVERIFY(!QFile::exists(InstanceRegistry::socketPath(firstPid)));
        QTRY_VERIFY_WITH_TIMEOUT(
            newer.log().contains(QStringLiteral("chiudo una copia più vecchia (pid %1)").arg(firstPid)),
            patience);
        QTRY_VERIFY_WITH_TIMEOUT(isRegistered(newer.pid()), patience);

        // SIGTERM is an ordinary quit.
        const qint64 newerPid = newer.pid();
        newer.process().terminate();
        QVERIFY(newer.process().waitForFinished(patience));
        QCOMPARE(newer.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(newer.process().exitCode(), 0);
        QVERIFY(!QFile::exists(InstanceRegistry::socketPath(newerPid)));
    }

    void aReplacedExecutableHandsTheRequestToANewCopy() {
        const fs::path bin = folder() / "bin";
        fs::create_directories(bin);
        const QString copy = QString::fromStdString((bin / "quillmorph").string());
        QVERIFY(QFile::copy(m_application, copy));
        Instance running(copy, {QStringLiteral("--new-instance")});
        QTRY_VERIFY_WITH_TIMEOUT(isRegistered(running.pid()), patience);
        const qint64 runningPid = running.pid();
        // The first request fixes what the executable was.
        QCOMPARE(runToEnd(m_application, {requestURL(ActionKind::image, {sample()})}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(running.log().contains(QStringLiteral("richiesta image")), patience);

        const QString replacement = copy + QStringLiteral(".new");
        QVERIFY(QFile::copy(m_application, replacement));
        fs::rename(replacement.toStdString(), copy.toStdString());
        const QString url = requestURL(ActionKind::image, {sample()});
        QCOMPARE(runToEnd(m_application, {url}), 0);

        QVERIFY(running.process().waitForFinished(patience));
        QCOMPARE(running.process().exitCode(), 0);
        QVERIFY(running.log().contains(
            QStringLiteral("binario sostituito: passo la richiesta a una copia nuova")));
        // The fresh copy runs from the same path with the request.
        QTRY_COMPARE_WITH_TIMEOUT(InstanceRegistry::others().size(), qsizetype(1), patience);
        const qint64 fresh = InstanceRegistry::others().front();
        QVERIFY(fresh != runningPid);
        QCOMPARE(commandLine(fresh), copy + QStringLiteral(" --new-instance ") + url + QLatin1Char(' '));
        ::kill(pid_t(fresh), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(InstanceRegistry::socketPath(fresh)), patience);
    }
};

QTEST_MAIN(InstanceTest)
#include "InstanceTest.moc"
