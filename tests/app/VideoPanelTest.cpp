#include "app/panels/VideoPanel.h"

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/panels/EstimateLine.h"
#include "app/panels/FFmpegNotice.h"
#include "app/panels/NumericLineEdit.h"
#include "app/panels/PanelChrome.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/PanelHeader.h"
#include "app/panels/PanelWindow.h"
#include "app/panels/ProgressView.h"
#include "app/panels/SegmentedChoice.h"
#include "app/panels/SizeControlsView.h"
#include "app/panels/VideoPanelView.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "engines/output/FileNaming.h"
#include "engines/video/VideoEngines.h"
#include "tests/support/Tools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;

namespace {

QString text(Phrase phrase) {
    return QString::fromStdString(Localization::string(phrase));
}

// A test pattern of `seconds` at `size` ("320x240"), with a tone when `withAudio`.
void makeClip(const fs::path& file, const QString& size, int seconds, bool withAudio) {
    const QString duration = QString::number(seconds);
    QStringList arguments{"-v", "error", "-nostdin", "-y"};
    arguments.append({"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=30:duration=" + duration});
    if (withAudio)
        arguments.append({"-f", "lavfi", "-i", "sine=frequency=440:duration=" + duration, "-c:a", "aac"});
    arguments.append({"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    arguments.append(QString::fromStdString(file.string()));
    if (QProcess::execute(QStringLiteral("ffmpeg"), arguments) != 0)
        qFatal("ffmpeg could not make %s", file.c_str());
}

} // namespace

class VideoPanelTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    // A copy of a clip made once per run: "short" (320×240, 1 s, tone), "silent" (no audio) or
    // "long" (640×480, 20 s: slow enough to cancel).
    fs::path clip(const std::string& kind, const std::string& name) {
        const fs::path made = fs::path(m_clips.path().toStdString()) / (kind + ".mp4");
        if (!fs::exists(made)) {
            if (kind == "long")
                makeClip(made, QStringLiteral("640x480"), 20, true);
            else
                makeClip(made, QStringLiteral("320x240"), 1, kind != "silent");
        }
        const fs::path copy = folder() / name;
        fs::copy_file(made, copy, fs::copy_options::overwrite_existing);
        return copy;
    }
    VideoInfo probe(const fs::path& file) {
        auto info = VideoEngines::probe(file);
        if (!info)
            qFatal("probe failed: %s", describe(info.error()).c_str());
        return *info;
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_clips;
    QTemporaryDir m_files;

  private slots:
    void initTestCase() { QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start"); }

    void init() {
        m_bus.clear();
        emptyFolder(folder());
    }

    void cleanup() {
        QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", false));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void textsAndEstimateForOneAndSeveralFiles() {
        const fs::path first = clip("short", "first.mp4");
        const VideoInfo info = probe(first);
        VideoPanel one({first}, info);
        one.start();
        const std::int64_t bytes = FileNaming::byteCount(first);
        QCOMPARE(one.title(), QStringLiteral("first.mp4"));
        QCOMPARE(one.subtitle(),
                 QStringLiteral("320×240 · 1s · H264 · ") + QString::fromStdString(formatByteCount(bytes)));
        QCOMPARE(one.destinationLine(), QStringLiteral("first-converted.mp4"));
        one.setContainer(VideoContainer::webm);
        QCOMPARE(one.destinationLine(), QStringLiteral("first-converted.webm"));
        QCOMPARE(one.presetID(), std::string("original")); // the container is no preset's business

        VideoPanel three({first, clip("short", "second.mp4"), folder() / "vanished.mp4"}, info);
        three.start();
        QCOMPARE(three.title(), QStringLiteral("3 videos"));
        QCOMPARE(three.destinationLine(), text(Phrase::videoEstimateFirst));
        QCOMPARE(three.originalBytes(), 2 * bytes);
        QCOMPARE(three.estimatedBytes(), 3 * one.estimatedBytes());
        QVERIFY(three.subtitle().endsWith(QString::fromStdString(formatByteCount(2 * bytes))));

        // Ten seconds of 1080p with audio at the first preset's 6000 + 192 kbit/s, plus 2 %.
        const VideoInfo hd{.width = 1920, .height = 1080, .duration = 10, .hasAudio = true};
        VideoPanel single({folder() / "a.mp4"}, hd);
        VideoPanel triple({folder() / "a.mp4", folder() / "b.mp4", folder() / "c.mp4"}, hd);
        QCOMPARE(single.estimatedBytes(), std::int64_t(7'894'800));
        QCOMPARE(triple.estimatedBytes(), std::int64_t(23'684'400));

        // The view shows the same figures.
        VideoPanelView view({first}, info);
        view.panel()->start();
        QCOMPARE(view.estimateLine()->values().bytes, std::optional(view.panel()->estimatedBytes()));
        QCOMPARE(view.footer()->destination(), QStringLiteral("first-converted.mp4"));
        QVERIFY(!view.header()->findChild<QLabel*>(QStringLiteral("hdr")));
    }

    void presetsFollowThePickerAndEditsTurnCustom() {
        const fs::path file = clip("short", "clip.mp4");
        VideoPanelView view({file}, probe(file));
        VideoPanel& panel = *view.panel();
        panel.start();
        QComboBox* picker = view.presetPicker();
        const auto choose = [picker](const QString& id) {
            const int index = picker->findData(id);
            QVERIFY(index >= 0);
            picker->setCurrentIndex(index);
            emit picker->activated(index);
        };
        QCOMPARE(picker->currentData().toString(), QStringLiteral("original"));
        QCOMPARE(picker->findData(QStringLiteral("custom")), -1);

        choose(QStringLiteral("web-720"));
        QCOMPARE(panel.settings(), (VideoSettings{.sizing = FrameSizing::fit(1280, 720),
                                                  .videoBitrate = 2000,
                                                  .frameRateCap = 30,
                                                  .includeAudio = true,
                                                  .audioBitrate = 96,
                                                  .codec = VideoCodec::h264}));
        QVERIFY(panel.isLinked());
        // The size controls were rebuilt to show the preset's box.
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::width)->text(), QStringLiteral("1280"));
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("720"));

        choose(QStringLiteral("reels"));
        QVERIFY(panel.settings().sizing == FrameSizing::exact(1080, 1920));
        QVERIFY(!panel.isLinked());
        QVERIFY(!view.sizeControls()->controls().isLinked());

        // An edit that leaves every preset lists the custom entry and selects it.
        view.qualitySlider()->setValue(4567);
        QCOMPARE(panel.settings().videoBitrate, std::int64_t(4500));
        QCOMPARE(panel.presetID(), std::string("custom"));
        QCOMPARE(picker->currentData().toString(), QStringLiteral("custom"));

        // Back to the preset's values by hand: the entry goes, the choice stays custom.
        panel.setVideoBitrate(5000);
        QCOMPARE(panel.matchedPreset()->id, std::string("reels"));
        QCOMPARE(panel.presetID(), std::string("custom"));
        QCOMPARE(picker->findData(QStringLiteral("custom")), -1);
        QCOMPARE(picker->currentIndex(), -1);

        // An edit that still matches a preset leaves the choice alone.
        choose(QStringLiteral("web-1080"));
        panel.setContainer(VideoContainer::webm);
        panel.setIncludeAudio(false);
        QCOMPARE(panel.matchedPreset()->id, std::string("web-1080"));
        QCOMPARE(panel.presetID(), std::string("web-1080"));
        QVERIFY(!panel.settings().includeAudio);
        // Choosing a preset turns audio back on and keeps the container.
        choose(QStringLiteral("youtube"));
        QVERIFY(panel.settings().includeAudio);
        QVERIFY(panel.settings().container == VideoContainer::webm);
    }

    void bitratesAreStoredInWholeHundreds_data() {
        QTest::addColumn<qint64>("asked");
        QTest::addColumn<qint64>("stored");
        QTest::newRow("rounded down") << qint64(4567) << qint64(4500);
        QTest::newRow("just below a hundred") << qint64(699) << qint64(600);
        QTest::newRow("below the minimum") << qint64(120) << qint64(500);
        QTest::newRow("above the maximum") << qint64(25000) << qint64(20000);
    }

    void bitratesAreStoredInWholeHundreds() {
        QFETCH(qint64, asked);
        QFETCH(qint64, stored);
        VideoPanel panel({folder() / "a.mp4"}, VideoInfo{.width = 640, .height = 480, .duration = 5});
        panel.start();
        panel.setVideoBitrate(asked);
        QCOMPARE(qint64(panel.settings().videoBitrate), stored);
        QCOMPARE(panel.presetID(), std::string("custom"));
    }

    void dimensionsAreEvenAndTheSliderKeepsItsPlace() {
        const fs::path file = clip("short", "clip.mp4");
        VideoPanelView view({file}, probe(file));
        VideoPanel& panel = *view.panel();
        panel.start();
        QCOMPARE(panel.outputSize(), (FrameSize{320, 240}));

        // 161 wide with the link on: 121 high, and the encoder gets 162 × 120.
        NumericLineEdit* width = view.sizeControls()->field(SizeControls::Side::width);
        width->selectAll();
        QTest::keyClicks(width, QStringLiteral("161"));
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("121"));
        QVERIFY(panel.settings().sizing == FrameSizing::fit(161, 121));
        QCOMPARE(panel.outputSize(), (FrameSize{162, 120}));
        QCOMPARE(panel.presetID(), std::string("custom"));

        // The slider stays where it is dragged; the value reads the stored hundreds.
        view.qualitySlider()->setValue(7777);
        QCOMPARE(panel.settings().videoBitrate, std::int64_t(7700));
        QCOMPARE(view.qualitySlider()->value(), 7777);
        QVERIFY(view.findChild<SliderValue*>()->text() == QStringLiteral("7700 kbps"));
    }

    void audioControlsFollowTheSource() {
        const fs::path silent = clip("silent", "silent.mp4");
        VideoPanelView quiet({silent}, probe(silent));
        quiet.panel()->start();
        QVERIFY(!quiet.audioCheckBox()->isEnabled());
        QVERIFY(!quiet.audioBitratePicker()->isEnabled());
        QVERIFY(quiet.panel()->settings().includeAudio); // the choice stays, there is just nothing to keep
        QVERIFY(std::ranges::any_of(quiet.findChildren<QLabel*>(), [](const QLabel* label) {
            return label->text() == text(Phrase::videoNoAudioTrack) && !label->isHidden();
        }));

        const fs::path voiced = clip("short", "voiced.mp4");
        VideoPanelView view({voiced}, probe(voiced));
        view.panel()->start();
        QVERIFY(view.audioCheckBox()->isEnabled());
        QVERIFY(view.audioBitratePicker()->isEnabled());
        QCOMPARE(view.audioBitratePicker()->currentText(), QStringLiteral("192 kbps"));
        view.audioCheckBox()->click();
        QVERIFY(!view.panel()->settings().includeAudio);
        QVERIFY(!view.audioBitratePicker()->isEnabled());
        view.audioCheckBox()->click();
        view.audioBitratePicker()->setCurrentIndex(0);
        emit view.audioBitratePicker()->activated(0);
        QCOMPARE(view.panel()->settings().audioBitrate, std::int64_t(64));
        QCOMPARE(view.panel()->presetID(), std::string("custom"));
    }

    void settingsThatNeedFFmpegShowTheNoticeAndCannotBeConfirmed_data() {
        QTest::addColumn<bool>("isHDR");
        QTest::addColumn<bool>("webm");
        QTest::addColumn<QString>("notice"); // empty: none, and the panel confirms
        QTest::newRow("HDR source") << true << false << text(Phrase::errorVideoHdrNeedsFfmpeg);
        QTest::newRow("WebM output") << false << true << text(Phrase::errorVideoWebmNeedsFfmpeg);
        QTest::newRow("WebM output of an HDR source")
            << true << true << text(Phrase::errorVideoWebmNeedsFfmpeg);
        QTest::newRow("MP4 of an SDR source") << false << false << QString();
    }

    void settingsThatNeedFFmpegShowTheNoticeAndCannotBeConfirmed() {
        QFETCH(bool, isHDR);
        QFETCH(bool, webm);
        QFETCH(QString, notice);
        VideoPanelView view({folder() / "a.mov"}, VideoInfo{.width = 640, .height = 360, .isHDR = isHDR});
        VideoPanel& panel = *view.panel();
        panel.start();
        if (webm)
            view.containerChoice()->findChildren<QAbstractButton*>().at(1)->click();
        QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
        panel.setShowsAdvanced(true); // a change redraws the view

        QVERIFY(!view.containerChoice()->isEnabled());
        QSignalSpy confirmed(&panel, &VideoPanel::confirmed);
        if (notice.isEmpty()) {
            QVERIFY(!view.notice());
            QVERIFY(view.footer()->confirmButton()->isEnabled());
            view.footer()->confirmButton()->click();
            QCOMPARE(confirmed.size(), 1);
            return;
        }
        QVERIFY(view.notice());
        const QString shown = view.notice()->findChildren<QLabel*>().back()->text();
        QVERIFY2(shown.startsWith(notice), qPrintable(shown));
        QVERIFY(shown.contains(text(Phrase::videoInstallFfmpeg)));
        QVERIFY(!view.footer()->confirmButton()->isEnabled());
        panel.confirm();
        QCOMPARE(confirmed.size(), 0);
        if (isHDR) {
            auto* badge = view.header()->findChild<QLabel*>(QStringLiteral("hdr"));
            QVERIFY(badge);
            QCOMPARE(badge->toolTip(), text(Phrase::videoHdrHelpNative));
        }

        // With ffmpeg back the same settings go through.
        QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", false));
        panel.setShowsAdvanced(false);
        QVERIFY(!view.notice());
        view.footer()->confirmButton()->click();
        QCOMPARE(confirmed.size(), 1);
    }

    void advancedSectionSavesPostersAndReturnDoesNotConfirm() {
        const fs::path file = clip("short", "clip.mp4");
        VideoPanelView view({file}, probe(file));
        VideoPanel& panel = *view.panel();
        panel.start();
        view.show();
        QSignalSpy confirmed(&panel, &VideoPanel::confirmed);
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QVERIFY(!view.posterField()->isVisible());
        view.advancedButton()->click();
        QVERIFY(panel.showsAdvanced());
        QVERIFY(view.posterField()->isVisible());

        QComboBox* rates = view.frameRatePicker();
        QCOMPARE(rates->itemText(0), QStringLiteral("Unchanged (30 fps)"));
        emit rates->activated(3);
        QCOMPARE(panel.settings().frameRateCap, std::optional(24.0));
        emit rates->activated(0);
        QVERIFY(!panel.settings().frameRateCap);

        // Codec only for MP4; a codec change leaves the preset.
        SegmentedChoice* codec = view.codecChoice();
        QVERIFY(codec->isVisible());
        codec->findChildren<QAbstractButton*>().at(1)->click();
        QVERIFY(panel.settings().codec == VideoCodec::hevc);
        QCOMPARE(panel.presetID(), std::string("custom"));
        view.containerChoice()->findChildren<QAbstractButton*>().at(1)->click();
        QVERIFY(!codec->isVisible());

        QLineEdit* time = view.posterField();
        time->setFocus();
        time->selectAll();
        QTest::keyClicks(time, QStringLiteral("1::2"));
        QTest::keyClick(time, Qt::Key_Return);
        QCOMPARE(view.posterStatus()->text(), text(Phrase::errorPosterTime));
        QCOMPARE(confirmed.size(), 0);
        QTest::keyClick(time, Qt::Key_Backspace); // editing clears the status
        QVERIFY(!panel.posterStatus());

        time->selectAll();
        QTest::keyClicks(time, QStringLiteral("5"));
        QTest::keyClick(time, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(view.posterStatus()->text(), text(Phrase::errorPosterBeyondEnd), patience);

        time->selectAll();
        QTest::keyClicks(time, QStringLiteral("0,5"));
        QTest::keyClick(time, Qt::Key_Return);
        QVERIFY(panel.isMakingPoster());
        panel.makePoster(); // ignored while one runs
        QTRY_VERIFY_WITH_TIMEOUT(!panel.isMakingPoster(), patience);
        QCOMPARE(view.posterStatus()->text(), QStringLiteral("Saved: clip-poster.png"));
        QVERIFY(!panel.posterStatus()->isError);
        QVERIFY(fs::exists(folder() / "clip-poster.png"));
        QVERIFY(!fs::exists(folder() / "clip-poster-1.png"));
        QCOMPARE(confirmed.size(), 0);
    }

    void videoRequestOpensThePanelAfterTheProbe() {
        AppDelegate delegate;
        const fs::path file = clip("short", "clip.mp4");
        delegate.openURLs({requestURL(ActionKind::video, {file, folder() / "gone.mp4"})});
        // The probe holds the application alive while it runs.
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(delegate.panels().size(), std::size_t(1), patience);
        QCOMPARE(delegate.activeJobs(), 0);
        QWidget* window = delegate.panels().front()->window();
        QCOMPARE(window->windowTitle(), text(Phrase::windowCompressVideo));
        VideoPanelView* view = panelView<VideoPanelView>(delegate.panels().front());
        QVERIFY(view);
        QCOMPARE(view->panel()->files(), std::vector<fs::path>{file});
        QCOMPARE(view->panel()->info(), probe(file));
        QCOMPARE(view->panel()->presetID(), std::string("original"));

        QTest::mouseClick(view->footer()->cancelButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
    }

    void aFileThatIsNoVideoGivesOneNotificationAndNoPanel() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        const fs::path notes = folder() / "notes.mp4";
        {
            QFile file(QString::fromStdString(notes.string()));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("these are notes, not a video");
        }
        delegate.openURLs({requestURL(ActionKind::video, {notes, clip("short", "clip.mp4")})});
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Quillmorph"));
        QCOMPARE(m_bus.notifications().front().body,
                 QString::fromStdString(describe(VideoEngineError::probeFailed(notes))));
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 0);
        QVERIFY(terminated.wait(patience));
        QCOMPARE(m_bus.notifications().size(), 1);
    }

    void confirmedBatchWritesEveryOutputReportsAndReveals() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        const fs::path first = clip("short", "first.mp4");
        const fs::path second = clip("silent", "second.mp4");
        delegate.openURLs({requestURL(ActionKind::video, {first, second})});
        QTRY_COMPARE_WITH_TIMEOUT(delegate.panels().size(), std::size_t(1), patience);
        VideoPanelView* view = panelView<VideoPanelView>(delegate.panels().front());
        view->panel()->choosePreset("web-720");

        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QVERIFY(delegate.progressPanel());
        QVERIFY(delegate.progress().onCancel());
        QCOMPARE(delegate.progress().title(), text(Phrase::progressVideos));

        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(2));
        const std::vector<fs::path> outputs{folder() / "first-converted.mp4",
                                            folder() / "second-converted.mp4"};
        for (std::size_t index = 0; index < outputs.size(); ++index) {
            QVERIFY(outcomes[index].succeeded());
            QCOMPARE(outcomes[index].output, std::optional(outputs[index]));
            QCOMPARE(outcomes[index].outputBytes, FileNaming::byteCount(outputs[index]));
            const VideoInfo written = probe(outputs[index]);
            QCOMPARE(written.width, std::int64_t(320)); // within the 1280×720 box: not enlarged
            QCOMPARE(written.hasAudio, index == 0);
        }
        QCOMPARE(delegate.progress().label(), QStringLiteral("second.mp4"));
        QVERIFY(!delegate.progressPanel());
        QVERIFY(!delegate.progress().onCancel());
        QCOMPARE(delegate.activeJobs(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Compressed: 2 files"));
        QVERIFY(m_bus.notifications().front().body.contains(QStringLiteral(" → ")));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.shownItems().size(), 1, patience);
        QCOMPARE(m_bus.shownItems().front().size(), 2);
    }

    void cancelStopsTheBatchWithoutPartialOutputOrReveal() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        const fs::path slow = clip("long", "slow.mp4");
        const fs::path next = clip("short", "next.mp4");
        delegate.runVideo({slow, next}, VideoSettings{});
        QVERIFY(delegate.progressPanel());

        // Cancel from the window once the first file's encoder reports.
        QTRY_VERIFY_WITH_TIMEOUT(delegate.progress().fraction().value_or(0) > 0, patience);
        QVERIFY(finished.isEmpty());
        QCOMPARE(delegate.progress().label(), QStringLiteral("slow.mp4"));
        auto* progressView = delegate.progressPanel()->window()->findChild<ProgressView*>();
        QVERIFY(progressView);
        QVERIFY(progressView->cancelButton()->isVisible());
        progressView->cancelButton()->click();

        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(1));
        QVERIFY(!outcomes[0].output);
        QCOMPARE(namesIn(folder()), (std::vector<std::string>{"next.mp4", "slow.mp4"}));
        QVERIFY(!delegate.progressPanel());
        QVERIFY(!delegate.progress().onCancel());

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Quillmorph"));
        QCOMPARE(m_bus.notifications().front().body, text(Phrase::notifyVideoCancelled));
        QVERIFY(terminated.wait(patience));
        QVERIFY(m_bus.shownItems().isEmpty());
    }

    void quittingStopsTheEncoderInsteadOfWaitingForIt() {
        const fs::path slow = clip("long", "slow.mp4");
        {
            AppDelegate delegate;
            delegate.runVideo({slow, clip("short", "next.mp4")}, VideoSettings{});
            QTRY_VERIFY_WITH_TIMEOUT(delegate.progress().fraction().value_or(0) > 0, patience);
            // The application's event loop ends as main() would end it; the delegate then goes,
            // waiting for its batch.
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
            QCoreApplication::exec();
        }
        QCOMPARE(namesIn(folder()), (std::vector<std::string>{"next.mp4", "slow.mp4"}));
    }
};

QTEST_MAIN(VideoPanelTest)
#include "VideoPanelTest.moc"
