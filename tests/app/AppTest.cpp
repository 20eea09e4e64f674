// The application on a session bus of its own, with media made once per run.
#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/panels/AudioPanel.h"
#include "app/panels/AudioPanelView.h"
#include "app/panels/ImagePanel.h"
#include "app/panels/ImagePanelView.h"
#include "app/panels/NumericLineEdit.h"
#include "app/panels/PDFPanel.h"
#include "app/panels/PDFPanelView.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/ProgressView.h"
#include "app/panels/SavingBadge.h"
#include "app/panels/SegmentedChoice.h"
#include "app/panels/SetupView.h"
#include "app/panels/SizeControlsView.h"
#include "app/panels/VideoPanel.h"
#include "app/panels/VideoPanelView.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "engines/audio/AudioEngine.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEstimate.h"
#include "engines/output/FileNaming.h"
#include "engines/video/VideoEngines.h"
#include "tests/support/Tools.h"
#include "tests/updates/FeedServer.h"
#include "updates/SiteLinks.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;

namespace {

QString text(Phrase phrase) {
    return QString::fromStdString(Localization::string(phrase));
}

std::vector<JobOutcome> outcomes(const QSignalSpy& finished, qsizetype index = 0) {
    return finished.at(index).front().value<std::vector<JobOutcome>>();
}

template <typename View> View* panelView(PanelWindow* panel) {
    return panel && panel->window() ? panel->window()->findChild<View*>() : nullptr;
}

// Starts `delegate` as the application starts with `urls`, and waits for the launch's work (the
// update check, a video probe) to end.
void launch(AppDelegate& delegate, const QStringList& urls) {
    delegate.applicationDidFinishLaunching();
    if (!urls.isEmpty())
        delegate.openURLs(urls);
    QTRY_COMPARE_WITH_TIMEOUT(delegate.activeJobs(), 0, patience);
}

// The outcomes of the next batch `delegate` finishes.
std::vector<JobOutcome> nextOutcomes(AppDelegate& delegate) {
    QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
    return finished.wait(patience) ? outcomes(finished) : std::vector<JobOutcome>();
}

const ProgressModel& progressOf(const AppDelegate& delegate, std::size_t index) {
    return panelView<ProgressView>(delegate.progressPanels().at(index))->model();
}

template <typename View = ImagePanelView> void confirm(PanelWindow* panel) {
    QTest::mouseClick(panelView<View>(panel)->footer()->confirmButton(), Qt::LeftButton);
}

// Waits until the estimate for the panel's current settings has arrived.
void settle(ImagePanel& panel) {
    QTRY_VERIFY_WITH_TIMEOUT(panel.hasSample() && panel.estimatedRatio() && !panel.isEstimating(), patience);
}

const std::string releaseFeed = R"({"version": "99.0", "url": "https://example.org/get"})";

} // namespace

class AppTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    fs::path media(const std::string& name) const { return fs::path(m_media.path().toStdString()) / name; }
    // A copy in the test's folder of a file made in initTestCase, or of a bundled sample.
    fs::path copy(const std::string& made, const std::string& name) {
        const fs::path source = fs::exists(media(made)) ? media(made) : fs::path(QUILLMORPH_SAMPLES) / made;
        fs::copy_file(source, folder() / name, fs::copy_options::overwrite_existing);
        return folder() / name;
    }
    // Noise, so that it does not compress to nothing, in the format of the name's extension.
    fs::path image(const char* name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        QRandomGenerator random(width * 7919 + height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb(int(random.bounded(256)), x * 255 / width, y * 255 / height));
        image.save(QString::fromStdString((folder() / name).string()));
        return folder() / name;
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_media;
    QTemporaryDir m_files;
    QList<QUrl> m_opened;

  public slots:
    void open(const QUrl& url) { m_opened.append(url); }

  private slots:
    void initTestCase() {
        QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start");
        // Whatever the application opens is recorded, never handed to the desktop.
        for (const char* scheme : {"https", "file", "javascript"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
        const QString clip = QStringLiteral("-f lavfi -i testsrc2=size=%1:rate=30:duration=%2 %3-c:v libx264 "
                                            "-preset ultrafast -pix_fmt yuv420p");
        const QString tone = QStringLiteral("-f lavfi -i sine=duration=%1 -c:a aac ");
        const std::pair<const char*, QString> made[] = {
            {"short.mp4", clip.arg(QStringLiteral("320x240"), QStringLiteral("1"), tone.arg(1))},
            {"silent.mp4", clip.arg(QStringLiteral("320x240"), QStringLiteral("1"), QString())},
            {"long.mp4", clip.arg(QStringLiteral("640x480"), QStringLiteral("20"), tone.arg(20))},
            {"tone24.wav",
             "-f lavfi -i aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=48000:d=2 -c:a pcm_s24le"},
            {"tone16.wav", "-f lavfi -i sine=duration=1 -c:a pcm_s16le"}};
        for (const auto& [name, arguments] : made) {
            QProcess ffmpeg;
            ffmpeg.start(QStringLiteral("ffmpeg"),
                         (QStringLiteral("-nostdin -v error -y ") + arguments).split(' ')
                             << QString::fromStdString(media(name).string()));
            QVERIFY2(ffmpeg.waitForFinished(patience) && ffmpeg.exitCode() == 0, name);
        }
    }

    void cleanupTestCase() {
        for (const char* scheme : {"https", "file", "javascript"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    void init() {
        PrivateEnvironment::resetDefaults();
        // No check reaches the web: those that check name a feed of their own.
        UserDefaults::setString("QuillmorphUpdateFeed", "http://127.0.0.1:9/version.json");
        m_bus.clear();
        m_opened.clear();
        for (const auto& entry : fs::directory_iterator(folder()))
            fs::remove_all(entry.path());
    }

    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void eachButtonClosesItsOwnPanelAndTheBatchReportsAndReveals() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        const fs::path broken = folder() / "broken.jpg";
        writeFile(broken, "not a picture at all");
        const fs::path photo = copy("fractal.jpg", "fractal.jpg");
        const fs::path chart = copy("chart.png", "chart.png");
        launch(delegate, {requestURL(ActionKind::image, {folder() / "gone-1.jpg", broken, photo, chart}),
                          requestURL(ActionKind::image, {chart})});
        // A release found meanwhile puts the setup window on top of the request's panels.
        delegate.showSetupWindow(Release{.version = "9.9", .url = "https://example.org/get"});
        const std::vector<PanelWindow*> opened = delegate.panels();
        QCOMPARE(opened.size(), std::size_t(3));
        // Files gone meanwhile are dropped; an unreadable first one leaves no estimate.
        ImagePanel* panel = panelView<ImagePanelView>(opened[0])->panel();
        QCOMPARE(panel->files(), (std::vector<fs::path>{broken, photo, chart}));
        QTRY_VERIFY_WITH_TIMEOUT(!panel->isLoadingSample(), patience);
        QVERIFY(!panel->estimatedBytes());

        confirm(opened[0]);
        QCOMPARE(delegate.panels(), (std::vector<PanelWindow*>{opened[1], opened[2]}));
        const auto results = nextOutcomes(delegate);
        QCOMPARE(results.size(), std::size_t(3));
        QVERIFY(!results[0].output);
        QCOMPARE(results[1].output, std::optional(folder() / "fractal-converted.jpg"));
        QCOMPARE(results[2].output, std::optional(folder() / "chart-converted.jpg"));
        QVERIFY(delegate.progressPanels().empty());
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        const Notification& note = m_bus.notifications().front();
        QCOMPARE(note.title + QLatin1Char('|') + note.body.right(8),
                 QStringLiteral("Converted: 2 files|1 failed"));
        // GNOME groups the notifications under the desktop entry and shows its icon.
        QCOMPARE(note.appIcon + note.desktopEntry, QStringLiteral("com.harrowlane.Quillmorph").repeated(2));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.shownItems().size(), 1, patience);
        QCOMPARE(m_bus.shownItems().front(),
                 QStringList{QUrl::fromLocalFile(QString::fromStdString(*results[1].output))
                                 .toString(QUrl::FullyEncoded)});

        QTest::mouseClick(panelView<ImagePanelView>(opened[1])->footer()->cancelButton(), Qt::LeftButton);
        QCOMPARE(delegate.panels(), std::vector<PanelWindow*>{delegate.setupPanel()});
        const auto closing = std::chrono::steady_clock::now();
        // Closed by the window manager, the window takes its entry with it.
        opened[2]->window()->close();
        QVERIFY(delegate.panels().empty() && terminated.wait(patience));
        // The rule waits 1.5 s before it quits; it never quits sooner.
        QVERIFY(std::chrono::steady_clock::now() - closing >= std::chrono::milliseconds(1400));
        QCOMPARE(terminated.size(), 1);
    }

    void launchOpensOnlyWhatIsUsable_data() {
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<bool>("release"); // the update check at launch finds one
        const std::string photo = QUILLMORPH_SAMPLES "/fractal.jpg";
        QTest::newRow("files gone") << QStringList{requestURL(ActionKind::image, {folder() / "gone.jpg"})}
                                    << false;
        // Resolved against the folder the application happened to start in.
        QTest::newRow("relative path")
            << QStringList{requestURL(ActionKind::image, {"fractal.jpg"})} << false;
        // The system would see the existing photo.
        QTest::newRow("NUL in the path")
            << QStringList{requestURL(ActionKind::video, {photo + std::string(1, '\0') + ".mp4"})} << false;
        QTest::newRow("not requests")
            << QStringList{QStringLiteral("quillmorph://run?payload=%%%"),
                           QStringLiteral("https://example.org/"), QStringLiteral("quillmorph://run"),
                           QStringLiteral("quillmorph://run?stored=request-AAAAAA"), QString()}
            << false;
        QTest::newRow("no request: the setup window") << QStringList() << false;
        // A request suppresses the setup window, but a release found at launch opens it.
        QTest::newRow("release beside a request")
            << QStringList{requestURL(ActionKind::image, {"/gone.jpg"})} << true;
    }

    void launchOpensOnlyWhatIsUsable() {
        QFETCH(QStringList, urls);
        QFETCH(bool, release);
        FeedServer feed({.body = releaseFeed});
        UserDefaults::setString("QuillmorphUpdateFeed", feed.url());
        UserDefaults::setBoolean("QuillmorphChecksForUpdates", release);
        const fs::path previous = fs::current_path();
        fs::current_path(QUILLMORPH_SAMPLES);
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        launch(delegate, urls);
        fs::current_path(previous);
        QCOMPARE(delegate.didReceiveRequest(), !urls.isEmpty());
        const bool setup = urls.isEmpty() || release;
        if (setup) {
            QTRY_VERIFY(delegate.setupPanel());
            QWidget* window = delegate.setupPanel()->window();
            QVERIFY(window->findChild<QMenuBar*>() && !window->windowFlags().testFlag(Qt::Tool));
            QCOMPARE(window->findChild<QWidget*>(QStringLiteral("updateBanner"))->isVisibleTo(window),
                     release);
            delegate.applicationShouldHandleReopen();
            delegate.quitIfIdle();
        }
        QCOMPARE(delegate.panels().size(), std::size_t(setup));
        // The setup window keeps the application; anything else quits 1.5 s after launch.
        QCOMPARE(terminated.wait(setup ? 2000 : patience), !setup);
    }

    void quittingHidesEveryWindowStartsNoFurtherFileAndWaitsEvenWithoutDesktopServices() {
        m_bus.setServicesPresent(false);
        std::vector<fs::path> files;
        for (const char* name : {"1.png", "2.png", "3.png", "4.png", "5.png", "6.png", "7.png", "8.png"})
            files.push_back(image(name, 1600, 1200));
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        launch(delegate,
               {requestURL(ActionKind::image, files), requestURL(ActionKind::image, {files.front()})});
        confirm(delegate.panels().front());
        QTRY_VERIFY_WITH_TIMEOUT(progressOf(delegate, 0).done() > 0, patience);
        const int done = progressOf(delegate, 0).done();
        const QPointer<QWidget> progress = delegate.progressPanels().front()->window();
        const QPointer<QWidget> panel = delegate.panels().front()->window();
        delegate.shutDown();
        QVERIFY((!progress || !progress->isVisible()) && (!panel || !panel->isVisible()));
        QVERIFY(delegate.panels().empty());
        QVERIFY(finished.wait(patience));
        // Only the files already running when the application quit were converted.
        const auto converted = std::ranges::count_if(outcomes(finished), &JobOutcome::succeeded);
        QVERIFY2(converted <= done + 4, qPrintable(QString::number(converted)));
        QCOMPARE(namesIn(folder()).size(), files.size() + std::size_t(converted));
        // No file manager answers: the outputs' folder opens instead.
        QTRY_COMPARE_WITH_TIMEOUT(m_opened, QList{QUrl::fromLocalFile(QString::fromStdString(folder()))},
                                  patience);
        QVERIFY(m_bus.notifications().empty());
        m_bus.setServicesPresent(true);
    }

    void imagePanelScalesTheFirstFilesEstimateAndConfirmsOnlyWritableFormats() {
        const std::vector<fs::path> files{image("first.png", 320, 240), image("second.png", 640, 480),
                                          folder() / "missing.png"};
        ImagePanelView view(files);
        ImagePanel* panel = view.panel();
        QSignalSpy confirmed(panel, &ImagePanel::confirmed);
        panel->start();
        QCOMPARE(panel->originalBytes(), FileNaming::byteCount(files[0]) + FileNaming::byteCount(files[1]));
        settle(*panel);
        QCOMPARE(panel->subtitle(), QStringLiteral("320×240 · ") +
                                        QString::fromStdString(formatByteCount(panel->originalBytes())) +
                                        QStringLiteral(" · dimensions of the first image"));
        // The same sample, resized and encoded as the panel does it.
        const auto sample = ImageEngine::loadNormalized(files[0]);
        QCOMPARE(*panel->estimatedRatio(), double(*ImageEstimate::sampleBytes(*sample, panel->settings())) /
                                               double(FileNaming::byteCount(files[0])));
        // Every format can be chosen; one this system cannot write says so and cannot be confirmed.
        for (const ImageFormat format : allCases<ImageFormat>()) {
            view.formatChoice()->setCurrentIndex(int(format));
            emit view.formatChoice()->chosen(int(format));
            QVERIFY(panel->settings().format == format);
            QCOMPARE(view.unavailableCaption()->isHidden(), ImageEngine::supports(format));
            QCOMPARE(view.footer()->confirmButton()->isEnabled(), ImageEngine::supports(format));
        }
        view.formatChoice()->setCurrentIndex(int(ImageFormat::webp));
        emit view.formatChoice()->chosen(int(ImageFormat::webp));
        view.qualitySlider()->setValue(420);
        QTest::mouseClick(view.footer()->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        const auto chosen = confirmed.front().front().value<ImageSettings>();
        QVERIFY(chosen.format == ImageFormat::webp && chosen.quality == 0.42);
    }

    void aNewerImageEstimateDropsTheStaleOnes() {
        ImagePanel panel({image("slow.png", 1600, 1200)});
        panel.start();
        settle(panel);
        QList<bool> estimating;
        connect(&panel, &ImagePanel::changed, this, [&] { estimating.append(panel.isEstimating()); });
        // A slider dragged without a pause: no encoding starts until it rests.
        for (const double quality : {0.5, 0.45, 0.4, 0.35, 0.3})
            panel.setQuality(quality);
        // A palette PNG of noise: an encoding slow enough to change the settings while it runs.
        QTRY_VERIFY_WITH_TIMEOUT(panel.isEstimating(), patience);
        const std::optional<double> before = panel.estimatedRatio();
        panel.setFormat(ImageFormat::jpg);
        panel.setQuality(0.2);
        // The running encoding is abandoned at once; its result, when it comes, is not shown.
        QVERIFY(!panel.isEstimating() && panel.estimatedRatio() == before);
        settle(panel);
        const std::optional<double> settled = panel.estimatedRatio();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(panel.estimatedRatio(), settled);
        QCOMPARE(estimating.count(true), 2);
    }

    void videoControlsReachThePanelPresetsFollowAndPostersAreSavedWithoutConfirming() {
        const fs::path file = copy("short.mp4", "clip.mp4");
        VideoPanelView view({file}, VideoEngines::probe(file).value());
        VideoPanel& panel = *view.panel();
        QSignalSpy confirmed(&panel, &VideoPanel::confirmed);
        panel.start();
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        view.advancedButton()->click();
        QLineEdit* time = view.posterField();
        time->setFocus();
        for (const auto& [entered, status] : {std::pair{"5", text(Phrase::errorPosterBeyondEnd)},
                                              {"0,5", QStringLiteral("Saved: clip-poster.png")}}) {
            time->selectAll();
            QTest::keyClicks(time, QString::fromLatin1(entered));
            QTest::keyClick(time, Qt::Key_Return);
            QTRY_COMPARE_WITH_TIMEOUT(view.posterStatus()->text(), status, patience);
        }
        QCOMPARE(namesIn(folder()), (std::vector<std::string>{"clip-poster.png", "clip.mp4"}));
        QCOMPARE(confirmed.size(), 0);
        QComboBox* picker = view.presetPicker();
        QCOMPARE(picker->findData(QStringLiteral("custom")), -1);
        // 161 wide with the link on: 121 high, and the encoder gets 162 × 120. No preset has that
        // size: the custom entry is listed and selected.
        NumericLineEdit* width = view.sizeControls()->field(SizeControls::Side::width);
        width->selectAll();
        QTest::keyClicks(width, QStringLiteral("161"));
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("121"));
        QCOMPARE(panel.outputSize(), (FrameSize{162, 120}));
        QCOMPARE(picker->currentData().toString(), QStringLiteral("custom"));
        picker->setCurrentIndex(picker->findData(QStringLiteral("web-720")));
        emit picker->activated(picker->currentIndex());
        QCOMPARE(panel.settings(), (VideoSettings{.sizing = FrameSizing::fit(1280, 720),
                                                  .videoBitrate = 2000,
                                                  .frameRateCap = 30,
                                                  .includeAudio = true,
                                                  .audioBitrate = 96,
                                                  .codec = VideoCodec::h264}));
        // The slider stays where it is dragged; the value reads the stored hundreds, within bounds.
        view.qualitySlider()->setValue(7777);
        QCOMPARE(panel.settings().videoBitrate + view.qualitySlider()->value(), 7700 + 7777);
        for (const auto& [asked, kept] : {std::pair<std::int64_t, std::int64_t>{120, 500}, {25000, 20000}}) {
            panel.setVideoBitrate(asked);
            QCOMPARE(panel.settings().videoBitrate, kept);
        }
        // Ten seconds of 1080p with audio at the first preset's 6000 + 192 kbit/s, plus 2 %, for each file.
        const VideoInfo hd{.width = 1920, .height = 1080, .duration = 10, .hasAudio = true};
        QCOMPARE(VideoPanel({file, folder() / "gone.mp4"}, hd).estimatedBytes(), std::int64_t(2 * 7'894'800));
    }

    void confirmedVideoBatchWritesEveryOutputAndAFirstFileThatIsNoVideoOpensNoPanel() {
        AppDelegate delegate;
        const fs::path notes = folder() / "notes.mp4";
        writeFile(notes, "these are notes, not a video");
        const fs::path first = copy("short.mp4", "first.mp4");
        const fs::path second = copy("silent.mp4", "second.mp4");
        delegate.openURLs({requestURL(ActionKind::video, {notes, first}),
                           requestURL(ActionKind::video, {first, folder() / "gone.mp4", second})});
        // The probes hold the application alive while they run.
        QCOMPARE(delegate.activeJobs(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size() + delegate.panels().size(), 2, patience);
        QCOMPARE(m_bus.notifications().front().body,
                 QString::fromStdString(describe(VideoEngineError::probeFailed(notes))));
        VideoPanelView* view = panelView<VideoPanelView>(delegate.panels().front());
        QCOMPARE(view->panel()->files(), (std::vector<fs::path>{first, second}));
        view->panel()->choosePreset("web-720");
        confirm<VideoPanelView>(delegate.panels().front());
        const auto results = nextOutcomes(delegate);
        QCOMPARE(results.size(), std::size_t(2));
        for (std::size_t index = 0; index < results.size(); ++index) {
            QCOMPARE(results[index].outputBytes, FileNaming::byteCount(*results[index].output));
            const VideoInfo written = VideoEngines::probe(*results[index].output).value();
            QCOMPARE(written.width, std::int64_t(320)); // within the 1280×720 box: not enlarged
            QCOMPARE(written.hasAudio, index == 0);
        }
        QCOMPARE(results[1].output, std::optional(folder() / "second-converted.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 2, patience);
        QCOMPARE(m_bus.notifications().back().title, QStringLiteral("Compressed: 2 files"));
        // A silent source leaves nothing for the audio controls.
        VideoPanelView silent({second}, VideoEngines::probe(second).value());
        QVERIFY(!silent.audioCheckBox()->isEnabled() && !silent.audioBitratePicker()->isEnabled());
    }

    void overlappingBatchesKeepTheirOwnProgressAndCancelStopsTheVideo() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        delegate.runVideo({copy("long.mp4", "slow.mp4"), copy("short.mp4", "next.mp4")}, VideoSettings{});
        QTRY_VERIFY_WITH_TIMEOUT(progressOf(delegate, 0).fraction().value_or(0) > 0, patience);
        // Two image batches alongside: the first one's window is closed by the user, the second
        // still shows its own.
        delegate.run({image("a-1.png", 64, 48), image("a-2.png", 64, 48)}, ImageSettings{});
        QCOMPARE(delegate.progressPanels().size(), std::size_t(2));
        delegate.progressPanels().back()->window()->close();
        delegate.run({image("b-1.png", 64, 48), image("b-2.png", 64, 48)},
                     ImageSettings{.format = ImageFormat::webp});
        QCOMPARE(delegate.progressPanels().size(), std::size_t(2));
        QCOMPARE(progressOf(delegate, 1).title(), text(Phrase::progressImages));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, patience);
        // The video batch, still running, kept its window and Cancel.
        QCOMPARE(delegate.progressPanels().size(), std::size_t(1));
        QCOMPARE(progressOf(delegate, 0).title(), text(Phrase::progressVideos));
        auto* progressView = panelView<ProgressView>(delegate.progressPanels().front());
        QVERIFY(progressView->cancelButton()->isVisible());
        progressView->cancelButton()->click();
        QVERIFY(finished.wait(patience));
        QCOMPARE(outcomes(finished, 2).size(), std::size_t(1));
        QVERIFY(!outcomes(finished, 2)[0].output && delegate.progressPanels().empty());
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 3, patience);
        QCOMPARE(m_bus.notifications().back().body, text(Phrase::notifyVideoCancelled));
        QVERIFY(terminated.wait(patience));
        QCOMPARE(m_bus.shownItems().size(), 2); // the image batches' outputs only
        QVERIFY(!fs::exists(folder() / "slow-converted.mp4") && !fs::exists(folder() / "next-converted.mp4"));
    }

    void quittingStopsTheEncoderInsteadOfWaitingForIt() {
        {
            AppDelegate delegate;
            delegate.runVideo({copy("long.mp4", "slow.mp4"), copy("short.mp4", "next.mp4")}, VideoSettings{});
            QTRY_VERIFY_WITH_TIMEOUT(progressOf(delegate, 0).fraction().value_or(0) > 0, patience);
            // The event loop ends as main() would end it; the delegate then goes, waiting for its batch.
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
            QCoreApplication::exec();
        }
        QCOMPARE(namesIn(folder()), (std::vector<std::string>{"next.mp4", "slow.mp4"}));
    }

    void audioLosslessFollowsTheSourcesDepthAndTheFormatIsRemembered() {
        // 2 s × 48 kHz × channels × 3 bytes; flac is expected at 60 % of it.
        const std::tuple<AudioFormat, bool, std::int64_t> rows[] = {{AudioFormat::aiff, true, 288000},
                                                                    {AudioFormat::flac, false, 345600}};
        AudioPanel panel({media("tone24.wav")}, AudioOrigin::audioFiles);
        panel.start();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.isProbing(), patience);
        for (const auto& [format, mono, size] : rows) {
            panel.setFormat(format);
            panel.setMono(mono);
            QCOMPARE(panel.losslessText(), QStringLiteral("Lossless, 24-bit"));
            QCOMPARE(panel.estimatedBytes(), std::optional(size));
        }
        AudioPanel sixteenBit({media("tone16.wav")}, AudioOrigin::audioFiles);
        QVERIFY(sixteenBit.settings().format == AudioFormat::flac); // the last one chosen
        sixteenBit.start();
        QTRY_VERIFY_WITH_TIMEOUT(!sixteenBit.isProbing(), patience);
        QCOMPARE(sixteenBit.losslessText(), QStringLiteral("Lossless, 16-bit"));
    }

    void confirmedExtractionWritesEachVideosAudio() {
        AppDelegate delegate;
        delegate.openURLs({requestURL(ActionKind::audio, {media("tone16.wav")}),
                           requestURL(ActionKind::extractAudio,
                                      {copy("short.mp4", "clipA.mp4"), copy("silent.mp4", "silent.mp4"),
                                       copy("short.mp4", "clipB.mp4")})});
        QVERIFY(panelView<AudioPanelView>(delegate.panels().front())->panel()->origin() ==
                AudioOrigin::audioFiles);
        confirm<AudioPanelView>(delegate.panels().back());
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        const auto results = nextOutcomes(delegate);
        QCOMPARE(results.size(), std::size_t(3));
        QCOMPARE(results[0].output, std::optional(folder() / "clipA-converted.mp3"));
        QCOMPARE(results[2].output, std::optional(folder() / "clipB-converted.mp3"));
        for (const JobOutcome& outcome : {results[0], results[2]})
            QCOMPARE(AudioEngine::inspect(*outcome.output).value().codec, std::string("mp3"));
        // The video without sound fails alone and leaves nothing behind.
        QCOMPARE(results[1].error, std::optional<std::string>("“silent.mp4” has no audio track."));
        QVERIFY(!fs::exists(folder() / "silent-converted.mp3"));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Converted: 2 audio files"));
    }

    void pdfControlsCarryTheirSettingsIntoConfirmAndTheMethodIsRemembered() {
        auto view = std::make_unique<PDFPanelView>(std::vector{copy("brochure.pdf", "a.pdf")});
        QSignalSpy confirmed(view->panel(), &PDFPanel::confirmed);
        view->qualitySlider()->setValue(420);
        view->resolutionSlider()->setValue(2);
        view->grayscaleBox()->click();
        view->optimizeBox()->click();
        QTest::mouseClick(view->methodChoice()->findChildren<QToolButton*>().at(1), Qt::LeftButton);
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        QVERIFY(confirmed.front().front().value<PDFSettings>() ==
                (PDFSettings{.imageQuality = 0.42,
                             .resolution = PDFSettings::Resolution::print,
                             .grayscale = true,
                             .optimize = false,
                             .method = PDFSettings::Method::keepText}));
        // Only the method is remembered: the next panel starts from the defaults with it.
        view.reset();
        PDFPanelView next({folder() / "a.pdf"});
        QVERIFY(next.panel()->settings() == PDFSettings{.method = PDFSettings::Method::keepText});
        QCOMPARE(next.methodChoice()->currentIndex(), 1);
    }

    void confirmedPDFBatchWritesEveryOutputWithTheChosenSettings() {
        AppDelegate delegate;
        const fs::path fake = folder() / "notes.pdf";
        writeFile(fake, "minutes of the meeting, not a PDF\n");
        launch(delegate, {requestURL(ActionKind::pdf, {copy("brochure.pdf", "first.pdf"), fake,
                                                       copy("brochure.pdf", "second.pdf")})});
        PDFPanelView* view = panelView<PDFPanelView>(delegate.panels().front());
        view->resolutionSlider()->setValue(0);
        view->grayscaleBox()->click();
        confirm<PDFPanelView>(delegate.panels().front());
        QCOMPARE(progressOf(delegate, 0).title(), text(Phrase::progressPdfs));
        const auto results = nextOutcomes(delegate);
        QCOMPARE(results.size(), std::size_t(3));
        for (const auto& [index, name] :
             {std::pair{0, "first-compressed.pdf"}, {2, "second-compressed.pdf"}}) {
            QCOMPARE(results[index].output, std::optional(folder() / name));
            QCOMPARE(results[index].outputBytes, FileNaming::byteCount(folder() / name));
            // Both pages (1200 × 900 and 960 × 540 pt) at 96 dpi, in grey.
            const QString listed =
                QString::fromStdString(runTool({"pdfimages", "-list", folder() / name}).output);
            QVERIFY2(listed.contains(QRegularExpression(" 1600 +1200 +gray .*\n.* 1280 +720 +gray ")),
                     qPrintable(listed));
        }
        // What is no PDF fails alone, untouched and without output.
        QCOMPARE(results[1].error, std::optional<std::string>("Could not open the PDF “notes.pdf”."));
        QCOMPARE(namesIn(folder()),
                 (std::vector<std::string>{"first-compressed.pdf", "first.pdf", "notes.pdf",
                                           "second-compressed.pdf", "second.pdf"}));
        QCOMPARE(readFile(fake), std::string("minutes of the meeting, not a PDF\n"));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Compressed: 2 files"));
    }

    void roundingAsShown() {
        // Savings: exactly 0.5 % is none; halves away from zero; nothing at all is a full saving.
        for (const auto& [original, estimated, shown] :
             {std::tuple{1000, 995, "heavier"}, {1000, 875, "−13%"}, {0, 0, "−100%"}}) {
            SavingBadge badge;
            badge.setValues(original, estimated, QStringLiteral("heavier"));
            QCOMPARE(badge.text(), QString::fromUtf8(shown));
        }
        // The running file's share counts in the whole; halves away from zero.
        ProgressModel model;
        model.begin(8, QStringLiteral("Converting"));
        model.setDone(1);
        model.setLabel(QStringLiteral("clip.mov"));
        model.setFraction(0.5);
        QCOMPARE(QString::number(model.percentage()) + model.countLine(),
                 QStringLiteral("19clip.mov — 2 of 8"));
    }

    void setupWindowOpensOnlyWebPages() {
        for (const char* url :
             {"file:///etc/passwd", "javascript:alert(1)", "https://", "https://example.org/get"}) {
            SetupView view(Release{.version = "9.2", .url = url});
            view.show();
            QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("download")), Qt::LeftButton);
            QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("openSettings")), Qt::LeftButton);
            // The language picker switches the texts and stores the choice.
            auto* picker = view.findChild<QComboBox*>(QStringLiteral("language"));
            picker->setCurrentIndex(picker->findData(QStringLiteral("it")));
            QCOMPARE(UserDefaults::string("QuillmorphLanguage"), std::optional<std::string>("it"));
        }
        const QUrl install(QString::fromStdString(*SiteLinks::page("install")));
        QCOMPARE(m_opened, (QList<QUrl>{install, install, install,
                                        QUrl(QStringLiteral("https://example.org/get")), install}));
        Localization::setLanguage("en");
    }

    // In GNOME's default font.
    void everyRowLabelFitsInEveryLanguage() {
        QApplication::setFont(QFont(QStringLiteral("Cantarell"), 11));
        QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Cantarell"));
        const fs::path samples = QUILLMORPH_SAMPLES;
        const std::function<QWidget*()> panels[] = {
            [&] { return new ImagePanelView({samples / "fractal.jpg"}); },
            [&] { return new AudioPanelView({samples / "tone.wav"}, AudioOrigin::audioFiles); },
            [&] { return new PDFPanelView({samples / "brochure.pdf"}); },
            [&] {
                auto* view = new VideoPanelView({samples / "clip.mp4"},
                                                {.width = 1920, .height = 1080, .hasAudio = true});
                return view->advancedButton()->click(), view;
            }};
        for (const Language& language : Localization::languages()) {
            Localization::setLanguage(language.code);
            for (const auto& make : panels) {
                PanelWindow panel;
                panel.open(make(), QString());
                const auto labels = panel.window()->findChildren<QLabel*>(QStringLiteral("PanelRowLabel"));
                QVERIFY(!labels.isEmpty());
                for (const QLabel* label : labels) {
                    const QRect space = label->contentsRect();
                    const QRect needed =
                        label->fontMetrics().boundingRect(space, Qt::TextWordWrap, label->text());
                    const QByteArray where =
                        QByteArray(language.code.c_str()) + ": " + label->text().toUtf8();
                    QVERIFY2(needed.width() <= space.width() && needed.height() <= space.height(),
                             where + " is cut");
                    QVERIFY2(label->mapTo(panel.window(), label->rect().topRight()).x() ==
                                 labels.front()->mapTo(panel.window(), labels.front()->rect().topRight()).x(),
                             where);
                }
            }
        }
        Localization::setLanguage("en");
    }
};

QTEST_MAIN(AppTest)
#include "AppTest.moc"
