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
#include "engines/image/ImageSettings.h"
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

const ProgressModel& progressOf(const AppDelegate& delegate, std::size_t index) {
    return panelView<ProgressView>(delegate.progressPanels().at(index))->model();
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
        const std::int64_t bytes = FileNaming::byteCount(first);
        QCOMPARE(one.subtitle(),
                 QStringLiteral("320×240 · 1s · H264 · ") + QString::fromStdString(formatByteCount(bytes)));
        one.setContainer(VideoContainer::webm);
        QCOMPARE(one.destinationLine(), QStringLiteral("first-converted.webm"));

        VideoPanel three({first, clip("short", "second.mp4"), folder() / "vanished.mp4"}, info);
        QCOMPARE(three.title(), QStringLiteral("3 videos"));
        QCOMPARE(three.destinationLine(), text(Phrase::videoEstimateFirst));
        QCOMPARE(three.originalBytes(), 2 * bytes);
        QCOMPARE(three.estimatedBytes(), 3 * one.estimatedBytes());
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
            picker->setCurrentIndex(picker->findData(id));
            emit picker->activated(picker->currentIndex());
        };
        QCOMPARE(picker->currentData().toString(), QStringLiteral("original"));
        QCOMPARE(picker->findData(QStringLiteral("custom")), -1);

        // 161 wide with the link on: 121 high, and the encoder gets 162 × 120. No preset has that
        // size: the custom entry is listed and selected.
        NumericLineEdit* width = view.sizeControls()->field(SizeControls::Side::width);
        width->selectAll();
        QTest::keyClicks(width, QStringLiteral("161"));
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("121"));
        QCOMPARE(panel.outputSize(), (FrameSize{162, 120}));
        QCOMPARE(picker->currentData().toString(), QStringLiteral("custom"));

        choose(QStringLiteral("web-720"));
        QCOMPARE(panel.settings(), (VideoSettings{.sizing = FrameSizing::fit(1280, 720), .videoBitrate = 2000,
                                                  .frameRateCap = 30, .includeAudio = true, .audioBitrate = 96,
                                                  .codec = VideoCodec::h264}));
        QCOMPARE(view.sizeControls()->field(SizeControls::Side::height)->text(), QStringLiteral("720"));
        choose(QStringLiteral("reels"));
        QVERIFY(!view.sizeControls()->controls().isLinked());

        // The slider stays where it is dragged; the value reads the stored hundreds, within bounds.
        view.qualitySlider()->setValue(7777);
        QCOMPARE(panel.settings().videoBitrate, std::int64_t(7700));
        QCOMPARE(view.qualitySlider()->value(), 7777);
        QCOMPARE(view.findChild<SliderValue*>()->text(), QStringLiteral("7700 kbps"));
        for (const auto& [asked, kept] : {std::pair<std::int64_t, std::int64_t>{120, 500}, {25000, 20000}}) {
            panel.setVideoBitrate(asked);
            QCOMPARE(panel.settings().videoBitrate, kept);
        }
        // Back to the preset's values by hand: the entry goes, the choice stays custom.
        panel.setVideoBitrate(5000);
        QCOMPARE(panel.matchedPreset()->id, std::string("reels"));
        QCOMPARE(panel.presetID(), std::string("custom"));
        QCOMPARE(picker->currentIndex(), -1);

        // An edit that still matches a preset leaves the choice alone; a preset turns audio back on
        // and keeps the container.
        choose(QStringLiteral("web-1080"));
        panel.setContainer(VideoContainer::webm);
        view.audioCheckBox()->click();
        QVERIFY(!view.audioBitratePicker()->isEnabled());
        QCOMPARE(panel.presetID(), std::string("web-1080"));
        choose(QStringLiteral("youtube"));
        QVERIFY(panel.settings().includeAudio && panel.settings().container == VideoContainer::webm);
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
            QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", false));
            VideoPanelView view({folder() / "a.mov"}, VideoInfo{.width = 640, .height = 360, .isHDR = isHDR});
            VideoPanel& panel = *view.panel();
            panel.start();
            if (webm)
                view.containerChoice()->findChildren<QAbstractButton*>().at(1)->click();
            QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
            panel.setShowsAdvanced(true); // a change redraws the view
            QVERIFY(!view.containerChoice()->isEnabled());
            QSignalSpy confirmed(&panel, &VideoPanel::confirmed);
            QCOMPARE(bool(view.notice()), !notice.isEmpty());
            if (view.notice()) {
                const QString shown = view.notice()->findChildren<QLabel*>().back()->text();
                QVERIFY2(shown.startsWith(notice) && shown.contains(text(Phrase::videoInstallFfmpeg)),
                         qPrintable(shown));
                QVERIFY(!view.footer()->confirmButton()->isEnabled());
                panel.confirm();
                QCOMPARE(confirmed.size(), 0);
                QCOMPARE(view.header()->findChild<QLabel*>(QStringLiteral("hdr"))->toolTip(),
                         text(Phrase::videoHdrHelpNative));
                // With ffmpeg back the same settings go through.
                QVERIFY(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", false));
                panel.setShowsAdvanced(false);
                QVERIFY(!view.notice());
            }
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
        QVERIFY(view.posterField()->isVisible());
        emit view.frameRatePicker()->activated(3);
        QCOMPARE(panel.settings().frameRateCap, std::optional(24.0));

        // Codec only for MP4; a codec change leaves the preset.
        view.codecChoice()->findChildren<QAbstractButton*>().at(1)->click();
        QVERIFY(panel.settings().codec == VideoCodec::hevc);
        QCOMPARE(panel.presetID(), std::string("custom"));
        view.containerChoice()->findChildren<QAbstractButton*>().at(1)->click();
        QVERIFY(!view.codecChoice()->isVisible());

        QLineEdit* time = view.posterField();
        time->setFocus();
        const std::pair<const char*, QString> entries[] = {{"1::2", text(Phrase::errorPosterTime)},
                                                           {"5", text(Phrase::errorPosterBeyondEnd)},
                                                           {"0,5", QStringLiteral("Saved: clip-poster.png")}};
        for (const auto& [entered, status] : entries) {
            time->selectAll();
            QTest::keyClicks(time, QString::fromLatin1(entered));
            QTest::keyClick(time, Qt::Key_Return);
            panel.makePoster(); // ignored while one runs
            QTRY_COMPARE_WITH_TIMEOUT(view.posterStatus()->text(), status, patience);
        }
        QVERIFY(!panel.posterStatus()->isError);
        QCOMPARE(namesIn(folder()), (std::vector<std::string>{"clip-poster.png", "clip.mp4"}));
        QTest::keyClick(time, Qt::Key_Backspace); // editing clears the status
        QVERIFY(!panel.posterStatus());
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

    void confirmedBatchWritesEveryOutput() {
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
        QCOMPARE(progressOf(delegate, 0).title(), text(Phrase::progressVideos));
        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(2));
        for (std::size_t index = 0; index < outcomes.size(); ++index) {
            QCOMPARE(outcomes[index].outputBytes, FileNaming::byteCount(*outcomes[index].output));
            const VideoInfo written = probe(*outcomes[index].output);
            QCOMPARE(written.width, std::int64_t(320)); // within the 1280×720 box: not enlarged
            QCOMPARE(written.hasAudio, index == 0);
        }
        QCOMPARE(outcomes[1].output, std::optional(folder() / "second-converted.mp4"));
        QVERIFY(delegate.progressPanels().empty());
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Compressed: 2 files"));
    }

    void overlappingBatchesKeepTheirOwnProgressAndCancelStopsTheVideo() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        QSignalSpy terminated(&delegate, &AppDelegate::terminateRequested);
        const fs::path slow = clip("long", "slow.mp4");
        const fs::path next = clip("short", "next.mp4");
        delegate.runVideo({slow, next}, VideoSettings{});
        QTRY_VERIFY_WITH_TIMEOUT(progressOf(delegate, 0).fraction().value_or(0) > 0, patience);

        // Two image batches alongside: the first one's window is closed by the user, the second
        // still shows its own.
        const auto images = [this](const char* prefix) {
            std::vector<fs::path> files;
            for (const char* suffix : {"-1.png", "-2.png"}) {
                files.push_back(folder() / (std::string(prefix) + suffix));
                writeNoiseImage(files.back(), 64, 48);
            }
            return files;
        };
        delegate.run(images("a"), ImageSettings{});
        QCOMPARE(delegate.progressPanels().size(), std::size_t(2));
        delegate.progressPanels().back()->window()->close();
        delegate.run(images("b"), ImageSettings{});
        QCOMPARE(delegate.progressPanels().size(), std::size_t(2));
        QCOMPARE(progressOf(delegate, 1).title(), text(Phrase::progressImages));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, patience);

        // The video batch, still running, kept its window and Cancel.
        QCOMPARE(delegate.progressPanels().size(), std::size_t(1));
        auto* progressView = panelView<ProgressView>(delegate.progressPanels().front());
        QVERIFY(progressView->cancelButton()->isVisible());
        progressView->cancelButton()->click();

        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.back().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(1));
        QVERIFY(!outcomes[0].output);
        QVERIFY(!fs::exists(folder() / "slow-converted.mp4"));
        QVERIFY(!fs::exists(folder() / "next-converted.mp4"));
        QVERIFY(delegate.progressPanels().empty());

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 3, patience);
        QCOMPARE(m_bus.notifications().back().title, QStringLiteral("Quillmorph"));
        QCOMPARE(m_bus.notifications().back().body, text(Phrase::notifyVideoCancelled));
        QVERIFY(terminated.wait(patience));
        QCOMPARE(m_bus.shownItems().size(), 2); // the image batches' outputs only
    }

    void quittingStopsTheEncoderInsteadOfWaitingForIt() {
        const fs::path slow = clip("long", "slow.mp4");
        {
            AppDelegate delegate;
            delegate.runVideo({slow, clip("short", "next.mp4")}, VideoSettings{});
            QTRY_VERIFY_WITH_TIMEOUT(progressOf(delegate, 0).fraction().value_or(0) > 0, patience);
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
