#include "app/panels/VideoPanel.h"

#include "AppTestSupport.h"
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
#include <QLabel>
#include <QLineEdit>
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
void makeClip(const fs::path& file, const std::string& size, int seconds, bool withAudio) {
    const std::string duration = std::to_string(seconds);
    std::vector<std::string> arguments{
        "ffmpeg",   "-v", "error",
        "-nostdin", "-y", "-f",
        "lavfi",    "-i", "testsrc2=size=" + size + ":rate=30:duration=" + duration};
    if (withAudio)
        arguments.insert(arguments.end(), {"-f", "lavfi", "-i", "sine=duration=" + duration, "-c:a", "aac"});
    arguments.insert(arguments.end(),
                     {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", file});
    if (runTool(arguments).exitCode != 0)
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
            const bool isLong = kind == "long";
            makeClip(made, isLong ? "640x480" : "320x240", isLong ? 20 : 1, kind != "silent");
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
        QCOMPARE(one.subtitle(),
                 QStringLiteral("320×240 · 1s · H264 · ") + QString::fromStdString(formatByteCount(bytes)));
        one.setContainer(VideoContainer::webm);
        QCOMPARE(one.destinationLine(), QStringLiteral("first-converted.webm"));

        VideoPanel three({first, clip("short", "second.mp4"), folder() / "vanished.mp4"}, info);
        three.start();
        QCOMPARE(three.title(), QStringLiteral("3 videos"));
        QCOMPARE(three.destinationLine(), text(Phrase::videoEstimateFirst));
        QCOMPARE(three.originalBytes(), 2 * bytes);
        QCOMPARE(three.estimatedBytes(), 3 * one.estimatedBytes());
        QVERIFY(three.subtitle().endsWith(QString::fromStdString(formatByteCount(2 * bytes))));

        // Ten seconds of 1080p with audio at the first preset's 6000 + 192 kbit/s, plus 2 %.
        const VideoInfo hd{.width = 1920, .height = 1080, .duration = 10, .hasAudio = true};
        QCOMPARE(VideoPanel({folder() / "a.mp4"}, hd).estimatedBytes(), std::int64_t(7'894'800));
    }

    void controlsReachThePanelAndPresetsFollow() {
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
        QCOMPARE(panel.outputSize(), (FrameSize{320, 240}));

        // 161 wide with the link on: 121 high, and the encoder gets 162 × 120. No preset has that
        // size: the custom entry is listed and selected.
        NumericLineEdit* width = view.sizeControls()->field(SizeControls::Side::width);
        width->selectAll();
        QTest::keyClicks(width, QStringLiteral("161"));
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("121"));
        QCOMPARE(panel.outputSize(), (FrameSize{162, 120}));
        QCOMPARE(picker->currentData().toString(), QStringLiteral("custom"));

        choose(QStringLiteral("web-720"));
        QCOMPARE(panel.settings(), (VideoSettings{.sizing = FrameSizing::fit(1280, 720),
                                                  .videoBitrate = 2000,
                                                  .frameRateCap = 30,
                                                  .includeAudio = true,
                                                  .audioBitrate = 96,
                                                  .codec = VideoCodec::h264}));
        // The size controls were rebuilt to show the preset's box.
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("720"));
        choose(QStringLiteral("reels"));
        QVERIFY(!view.sizeControls()->controls().isLinked());

        // The slider stays where it is dragged; the value reads the stored hundreds, within bounds.
        view.qualitySlider()->setValue(7777);
        QCOMPARE(panel.settings().videoBitrate, std::int64_t(7700));
        QCOMPARE(view.qualitySlider()->value(), 7777);
        QVERIFY(view.findChild<SliderValue*>()->text() == QStringLiteral("7700 kbps"));
        QCOMPARE(picker->currentData().toString(), QStringLiteral("custom"));
        panel.setVideoBitrate(120);
        QCOMPARE(panel.settings().videoBitrate, std::int64_t(500));
        panel.setVideoBitrate(25000);
        QCOMPARE(panel.settings().videoBitrate, std::int64_t(20000));

        // Back to the preset's values by hand: the entry goes, the choice stays custom.
        panel.setVideoBitrate(5000);
        QCOMPARE(panel.matchedPreset()->id, std::string("reels"));
        QCOMPARE(panel.presetID(), std::string("custom"));
        QCOMPARE(picker->findData(QStringLiteral("custom")), -1);
        QCOMPARE(picker->currentIndex(), -1);

        // An edit that still matches a preset leaves the choice alone.
        choose(QStringLiteral("web-1080"));
        panel.setContainer(VideoContainer::webm);
        view.audioCheckBox()->click();
        QVERIFY(!panel.settings().includeAudio);
        QVERIFY(!view.audioBitratePicker()->isEnabled());
        QCOMPARE(panel.presetID(), std::string("web-1080"));
        // Choosing a preset turns audio back on and keeps the container.
        choose(QStringLiteral("youtube"));
        QVERIFY(panel.settings().includeAudio);
        QVERIFY(panel.settings().container == VideoContainer::webm);
        emit view.audioBitratePicker()->activated(0);
        QCOMPARE(panel.settings().audioBitrate, std::int64_t(64));
    }

    void silentSourceDisablesTheAudioControls() {
        const fs::path silent = clip("silent", "silent.mp4");
        VideoPanelView view({silent}, probe(silent));
        view.panel()->start();
        QVERIFY(!view.audioCheckBox()->isEnabled());
        QVERIFY(!view.audioBitratePicker()->isEnabled());
        QVERIFY(view.panel()->settings().includeAudio); // the choice stays, there is just nothing to keep
        QVERIFY(std::ranges::any_of(view.findChildren<QLabel*>(), [](const QLabel* label) {
            return label->text() == text(Phrase::videoNoAudioTrack) && !label->isHidden();
        }));
    }

    void settingsThatNeedFFmpegShowTheNoticeAndCannotBeConfirmed() {
        const std::tuple<bool, bool, QString> rows[] = {
            {true, false, text(Phrase::errorVideoHdrNeedsFfmpeg)},
            {true, true, text(Phrase::errorVideoWebmNeedsFfmpeg)}, // WebM wins over HDR
            {false, false, QString()}};                            // MP4 of SDR: no notice
        for (const auto& [isHDR, webm, notice] : rows) {
            const QByteArray row = QByteArray::number(isHDR) + " " + QByteArray::number(webm);
            QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", false));
            VideoPanelView view({folder() / "a.mov"}, VideoInfo{.width = 640, .height = 360, .isHDR = isHDR});
            VideoPanel& panel = *view.panel();
            panel.start();
            if (webm)
                view.containerChoice()->findChildren<QAbstractButton*>().at(1)->click();
            QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
            panel.setShowsAdvanced(true); // a change redraws the view

            QVERIFY2(!view.containerChoice()->isEnabled(), row);
            QSignalSpy confirmed(&panel, &VideoPanel::confirmed);
            if (notice.isEmpty()) {
                QVERIFY(!view.notice());
                view.footer()->confirmButton()->click();
                QCOMPARE(confirmed.size(), 1);
                continue;
            }
            QVERIFY2(view.notice(), row);
            const QString shown = view.notice()->findChildren<QLabel*>().back()->text();
            QVERIFY2(shown.startsWith(notice), qPrintable(shown));
            QVERIFY(shown.contains(text(Phrase::videoInstallFfmpeg)));
            QVERIFY(!view.footer()->confirmButton()->isEnabled());
            panel.confirm();
            QCOMPARE(confirmed.size(), 0);
            QCOMPARE(view.header()->findChild<QLabel*>(QStringLiteral("hdr"))->toolTip(),
                     text(Phrase::videoHdrHelpNative));

            // With ffmpeg back the same settings go through.
            QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", false));
            panel.setShowsAdvanced(false);
            QVERIFY(!view.notice());
            view.footer()->confirmButton()->click();
            QCOMPARE(confirmed.size(), 1);
        }
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

        emit view.frameRatePicker()->activated(3);
        QCOMPARE(panel.settings().frameRateCap, std::optional(24.0));

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

    void aFileThatIsNoVideoGivesOneNotificationAndNoPanel() {
        AppDelegate delegate;
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        const fs::path notes = folder() / "notes.mp4";
        writeFile(notes, "these are notes, not a video");
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
        delegate.openURLs({requestURL(ActionKind::video, {first, folder() / "gone.mp4", second})});
        // The probe holds the application alive while it runs.
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(delegate.panels().size(), std::size_t(1), patience);
        QCOMPARE(delegate.panels().front()->window()->windowTitle(), text(Phrase::windowCompressVideo));
        VideoPanelView* view = panelView<VideoPanelView>(delegate.panels().front());
        QCOMPARE(view->panel()->files(), (std::vector<fs::path>{first, second}));
        QCOMPARE(view->panel()->info(), probe(first));
        view->panel()->choosePreset("web-720");

        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
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
        QVERIFY(!delegate.progressPanel());
        QVERIFY(!delegate.progress().onCancel());
        QCOMPARE(delegate.activeJobs(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Compressed: 2 files"));
        QVERIFY(m_bus.notifications().front().body.contains(QStringLiteral(" → ")));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.shownItems().size(), 1, patience);
        QCOMPARE(m_bus.shownItems().front().size(), 1);
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
        auto* progressView = delegate.progressPanel()->window()->findChild<ProgressView*>();
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
