#include "app/AppDelegate.h"

#include "AppTestSupport.h"
#include "app/panels/ImagePanel.h"
#include "app/panels/ImagePanelView.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/PanelWindow.h"
#include "common/Localization.h"
#include "engines/batch/BatchReport.h"

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

    void cancelClosesTheMostRecentPanelAndTheLastQuitsAfterThePause() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        launch(delegate, {requestURL(ActionKind::image, {sample("fractal.jpg")}),
                          requestURL(ActionKind::image, {sample("chart.png")})});
        QCOMPARE(delegate.panels().size(), std::size_t(2));
        QVERIFY(!delegate.setupPanel());
        PanelWindow* first = delegate.panels()[0];
        QPointer<QWidget> secondWindow = delegate.panels()[1]->window();
        ImagePanelView* view = panelView<ImagePanelView>(first);
        QCOMPARE(view->panel()->files().front().filename().string(), std::string("fractal.jpg"));
        QCOMPARE(first->window()->windowTitle(),
                 QString::fromStdString(Localization::string(Phrase::windowCompressImages)));

        // Cancel in the first panel closes the most recent one.
        QTest::mouseClick(view->footer()->cancelButton(), Qt::LeftButton);
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        QCOMPARE(delegate.panels()[0], first);
        QVERIFY(first->window()->isVisible());
        QTRY_VERIFY(!secondWindow || !secondWindow->isVisible());

        QElapsedTimer sinceCancel;
        sinceCancel.start();
        QTest::mouseClick(view->footer()->cancelButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
        QVERIFY(terminated.wait(patience));
        QCOMPARE(terminated.size(), 1);
        // The rule waits 1.5 s before it quits; it never quits sooner.
        QVERIFY(sinceCancel.elapsed() >= 1400);
    }

    void requestWhoseFilesAreAllGoneOpensNothingAndQuits() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        launch(delegate, {requestURL(ActionKind::image, {folder() / "gone-1.jpg", folder() / "gone-2.png"})});
        QVERIFY(delegate.panels().empty());
        QVERIFY(terminated.wait(patience));
    }

    void urlsThatDoNotDecodeAreIgnored() {
        AppDelegate delegate;
        launch(delegate,
               {QStringLiteral("quillmorph://run?payload=%%%"), QStringLiteral("https://example.org/"),
                QStringLiteral("quillmorph://run"), QString()});
        QVERIFY(delegate.panels().empty());
        QVERIFY(delegate.didReceiveRequest());
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

        // Closed by the window manager, the window takes its entry with it.
        window->close();
        QVERIFY(delegate.panels().empty());
        QVERIFY(terminated.wait(patience));
    }

    void confirmedPanelConvertsReportsAndReveals() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        QList<int> doneSeen;
        connect(&delegate.progress(), &ProgressModel::changed, this,
                [&] { doneSeen.append(delegate.progress().done()); });
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
        QCOMPARE(view->panel()->sourceSize(), Size{});
        QVERIFY(!view->panel()->estimatedBytes());
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QVERIFY(delegate.progressPanel());

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
        QCOMPARE(delegate.progress().done(), 3);
        QVERIFY(doneSeen.contains(1));
        QVERIFY(!delegate.progressPanel());

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

    void aLargeSelectionIsOnePanelAndOneBoundedBatch() {
        std::vector<fs::path> files;
        for (int index = 0; index < 300; ++index) {
            files.push_back(folder() / ("tile-" + std::to_string(index) + ".png"));
            writeNoiseImage(files.back(), 8, 8);
        }
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        launch(delegate, {requestURL(ActionKind::image, files)});
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        QTest::mouseClick(panelView<ImagePanelView>(delegate.panels().front())->footer()->confirmButton(),
                          Qt::LeftButton);
        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), files.size());
        for (std::size_t index = 0; index < files.size(); ++index) {
            QCOMPARE(outcomes[index].source, files[index]);
            QVERIFY(outcomes[index].succeeded());
        }
        QCOMPARE(delegate.progress().done(), 300);
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Converted: 300 files"));
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
        QTest::mouseClick(panelView<ImagePanelView>(delegate.panels().front())->footer()->confirmButton(),
                          Qt::LeftButton);

        // One file: no progress window; only the running batch keeps the application alive.
        QVERIFY(!delegate.progressPanel());
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
