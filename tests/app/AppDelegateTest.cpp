#include "app/AppDelegate.h"

#include "AppTestSupport.h"
#include "app/panels/ImagePanel.h"
#include "app/panels/ImagePanelView.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/ProgressView.h"
#include "common/Localization.h"
#include "engines/batch/BatchReport.h"
#include "engines/image/ImageSettings.h"
#include "tests/support/Tools.h"
#include "updates/Release.h"

#include <QElapsedTimer>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;

namespace {

PanelFooter* footer(PanelWindow* panel) {
    return panelView<ImagePanelView>(panel)->footer();
}

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    fs::path sample(const char* name) {
        const fs::path copy = folder() / name;
        fs::copy_file(fs::path(QUILLMORPH_SAMPLES) / name, copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_files;

  private slots:
    void initTestCase() { QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start"); }

    void init() {
        m_bus.clear();
        emptyFolder(folder());
    }

    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void eachButtonClosesItsOwnPanelAndTheLastQuitsAfterThePause() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        const fs::path photo = sample("fractal.jpg");
        launch(delegate, {requestURL(ActionKind::image, {photo}), requestURL(ActionKind::image, {sample("chart.png")})});
        QVERIFY(!delegate.setupPanel());
        // A release found meanwhile puts the setup window on top of the request's panels.
        delegate.showSetupWindow(Release{.version = "9.9", .url = "https://example.org/get"});
        const std::vector<PanelWindow*> opened = delegate.panels();
        QCOMPARE(opened.size(), std::size_t(3));
        QCOMPARE(panelView<ImagePanelView>(opened[0])->panel()->files(), std::vector<fs::path>{photo});

        QTest::mouseClick(footer(opened[0])->confirmButton(), Qt::LeftButton);
        QCOMPARE(delegate.panels(), (std::vector<PanelWindow*>{opened[1], opened[2]}));
        QVERIFY(finished.wait(patience));
        QCOMPARE(finished.front().front().value<std::vector<JobOutcome>>().size(), std::size_t(1));
        QVERIFY(fs::exists(folder() / "fractal-converted.jpg"));

        QTest::mouseClick(footer(opened[1])->cancelButton(), Qt::LeftButton);
        QCOMPARE(delegate.panels(), std::vector<PanelWindow*>{opened[2]});
        QCOMPARE(delegate.setupPanel(), opened[2]);
        QElapsedTimer sinceClose;
        sinceClose.start();
        // Closed by the window manager, the window takes its entry with it.
        opened[2]->window()->close();
        QVERIFY(delegate.panels().empty());
        QVERIFY(terminated.wait(patience));
        QCOMPARE(terminated.size(), 1);
        // The rule waits 1.5 s before it quits; it never quits sooner.
        QVERIFY(sinceClose.elapsed() >= 1400);
        QCOMPARE(namesIn(folder()), (std::vector<std::string>{"chart.png", "fractal-converted.jpg", "fractal.jpg"}));
    }

    void requestsWithoutUsableFilesOpenNothingAndQuit() {
        const fs::path photo = sample("fractal.jpg");
        const fs::path previous = fs::current_path();
        fs::current_path(folder());
        const std::pair<const char*, QStringList> rows[] = {
            {"files gone", {requestURL(ActionKind::image, {folder() / "gone-1.jpg", folder() / "gone-2.png"})}},
            // Resolved against the folder the application happened to start in.
            {"relative path", {requestURL(ActionKind::image, {"fractal.jpg"})}},
            // The system would see the existing photo.
            {"NUL in the path", {requestURL(ActionKind::video, {photo.string() + std::string(1, '\0') + ".mp4"})}},
            {"not requests",
             {QStringLiteral("quillmorph://run?payload=%%%"), QStringLiteral("https://example.org/"),
              QStringLiteral("quillmorph://run"), QStringLiteral("quillmorph://run?stored=request-AAAAAA"),
              QString()}},
        };
        for (const auto& [name, urls] : rows) {
            AppDelegate delegate;
            QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
            launch(delegate, urls);
            QVERIFY2(delegate.panels().empty(), name);
            QVERIFY(delegate.didReceiveRequest());
            QVERIFY2(terminated.wait(patience), name);
        }
        fs::current_path(previous);
    }

    void launchWithoutRequestShowsTheSetupWindowAndStays() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        launch(delegate, {});
        QTRY_VERIFY(delegate.setupPanel());
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        QWidget* window = delegate.setupPanel()->window();
        QCOMPARE(window->windowTitle(), QStringLiteral("Quillmorph"));
        QVERIFY(window->findChild<QMenuBar*>());
        QVERIFY(!window->windowFlags().testFlag(Qt::Tool));
        delegate.applicationShouldHandleReopen();
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        delegate.quitIfIdle();
        QTest::qWait(2000);
        QCOMPARE(terminated.size(), 0);
    }

    void confirmedPanelConvertsReportsAndReveals() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        const fs::path broken = folder() / "broken.jpg";
        std::ofstream(broken) << "not a picture at all";
        const fs::path photo = sample("fractal.jpg");
        const fs::path chart = sample("chart.png");
        launch(delegate, {requestURL(ActionKind::image, {folder() / "gone-1.jpg", broken, photo,
                                                         folder() / "gone-2.png", chart})});

        // Files gone meanwhile are dropped; an unreadable first one leaves no estimate.
        ImagePanelView* view = panelView<ImagePanelView>(delegate.panels().front());
        QCOMPARE(view->panel()->files(), (std::vector<fs::path>{broken, photo, chart}));
        QTRY_VERIFY_WITH_TIMEOUT(!view->panel()->isLoadingSample(), patience);
        QVERIFY(!view->panel()->hasSample());
        QVERIFY(!view->panel()->estimatedBytes());
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QCOMPARE(delegate.progressPanels().size(), std::size_t(1));
        const ProgressModel& progress = panelView<ProgressView>(delegate.progressPanels().front())->model();
        QList<int> doneSeen;
        connect(&progress, &ProgressModel::changed, this, [&] { doneSeen.append(progress.done()); });

        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(3));
        QVERIFY(!outcomes[0].succeeded());
        QVERIFY(!outcomes[0].output);
        QVERIFY(!fs::exists(folder() / "broken-converted.jpg"));
        QCOMPARE(outcomes[1].output, std::optional(folder() / "fractal-converted.jpg"));
        QCOMPARE(outcomes[2].output, std::optional(folder() / "chart-converted.jpg"));
        QVERIFY(fs::exists(folder() / "fractal-converted.jpg"));
        QVERIFY(fs::exists(folder() / "chart-converted.jpg"));
        QVERIFY(doneSeen.contains(1) && doneSeen.contains(3));
        QVERIFY(delegate.progressPanels().empty());

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        const BatchSummary expected = BatchReport::summarize(
            outcomes, Localization::string(Phrase::notifyImagesVerb), Phrase::notifyImagesCount);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Converted: 2 files"));
        QCOMPARE(m_bus.notifications().front().body, QString::fromStdString(expected.body));
        QVERIFY(m_bus.notifications().front().body.endsWith(QStringLiteral("1 failed")));
        // GNOME groups the notifications under the desktop entry and shows its icon.
        QCOMPARE(m_bus.notifications().front().appIcon, QStringLiteral("com.harrowlane.Quillmorph"));
        QCOMPARE(m_bus.notifications().front().desktopEntry, QStringLiteral("com.harrowlane.Quillmorph"));

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.shownItems().size(), 1, patience);
        const auto uri = [this](const char* name) {
            return QUrl::fromLocalFile(QString::fromStdString((folder() / name).string()))
                .toString(QUrl::FullyEncoded);
        };
        QCOMPARE(m_bus.shownItems().front(),
                 (QStringList{uri("fractal-converted.jpg")}));
    }

    void quittingHidesEveryWindowAndStartsNoFurtherFile() {
        std::vector<fs::path> files;
        for (int index = 0; index < 8; ++index) {
            files.push_back(folder() / ("large-" + std::to_string(index) + ".png"));
            writeNoiseImage(files.back(), 1600, 1200);
        }
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        launch(delegate, {requestURL(ActionKind::image, files), requestURL(ActionKind::image, {files.front()})});
        QTest::mouseClick(footer(delegate.panels().front())->confirmButton(), Qt::LeftButton);
        const QPointer<QWidget> progress = delegate.progressPanels().front()->window();
        const QPointer<QWidget> panel = delegate.panels().front()->window();
        delegate.shutDown();
        QVERIFY(!progress || !progress->isVisible());
        QVERIFY(!panel || !panel->isVisible());
        QVERIFY(delegate.panels().empty());
        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        // Only the files already running when the application quit were converted.
        const auto converted = std::ranges::count_if(outcomes, &JobOutcome::succeeded);
        QVERIFY2(converted <= 4, qPrintable(QString::number(converted)));
        QCOMPARE(std::size_t(std::ranges::count_if(files, [](const fs::path& file) {
                     return fs::exists(file.parent_path() / (file.stem().string() + "-converted.png"));
                 })),
                 std::size_t(converted));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
    }

    void quitWaitsForTheBatchWhichEndsEvenWithoutDesktopServices() {
        m_bus.setServicesPresent(false);
        UrlHandler fileManager({QStringLiteral("file")});
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        const fs::path large = folder() / "large.jpg";
        writeNoiseImage(large, 2400, 1800);
        launch(delegate, {requestURL(ActionKind::image, {large})});
        QTest::mouseClick(footer(delegate.panels().front())->confirmButton(), Qt::LeftButton);

        // One file: no progress window; only the running batch keeps the application alive.
        QVERIFY(delegate.progressPanels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        delegate.quitIfIdle();
        QVERIFY(finished.wait(patience));
        QCOMPARE(terminated.size(), 0);
        QCOMPARE(delegate.activeJobs(), 0);
        // No file manager answers: the outputs' folder opens instead.
        QTRY_COMPARE_WITH_TIMEOUT(fileManager.opened.size(), 1, patience);
        QCOMPARE(fileManager.opened.front(), QUrl::fromLocalFile(QString::fromStdString(folder().string())));
        QVERIFY(terminated.wait(patience));
        QVERIFY(m_bus.notifications().empty());
        m_bus.setServicesPresent(true);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
