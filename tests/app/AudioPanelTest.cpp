#include "app/panels/AudioPanel.h"

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/panels/AudioPanelView.h"
#include "app/panels/EstimateLine.h"
#include "app/panels/FFmpegNotice.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/PanelWindow.h"
#include "app/panels/SegmentedChoice.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "engines/audio/AudioEngine.h"
#include "engines/output/FileNaming.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;

namespace {

bool ffmpeg(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"),
                                                        QStringLiteral("error"), QStringLiteral("-y")} +
                                                arguments);
    return process.waitForFinished(patience) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString bytes(std::int64_t count) {
    return QString::fromStdString(formatByteCount(count));
}

void choose(SegmentedChoice* choice, AudioFormat format) {
    choice->setCurrentIndex(int(format));
    emit choice->chosen(int(format));
}

} // namespace

class AudioPanelTest : public QObject {
    Q_OBJECT

  private:
    fs::path media(const char* name) const { return fs::path(m_media.path().toStdString()) / name; }
    fs::path folder() const { return m_files.path().toStdString(); }
    fs::path copy(const char* name) const {
        fs::copy_file(media(name), folder() / name);
        return folder() / name;
    }
    static void probed(AudioPanel& panel) {
        panel.start();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.isProbing(), patience);
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_media;
    QTemporaryDir m_files;

  private slots:
    void initTestCase() {
        QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start");
        const QString picture = QStringLiteral("testsrc=size=64x48:rate=10:duration=1");
        const QString tone = QStringLiteral("sine=frequency=440:duration=1");
        const auto path = [this](const char* name) {
            return QString::fromStdString(media(name).string());
        };
        // 2 s of 48 kHz stereo, 24-bit: 2304 kbps.
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=48000:d=2",
                        "-c:a", "pcm_s24le", path("tone24.wav")}));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", tone, "-c:a", "pcm_s16le", path("tone16.wav")}));
        for (const char* name : {"clipA.mp4", "clipB.mp4"}) {
            QVERIFY(ffmpeg({"-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", tone, "-c:v", "libx264",
                            "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", path(name)}));
        }
        QVERIFY(ffmpeg(
            {"-f", "lavfi", "-i", picture, "-c:v", "libx264", "-pix_fmt", "yuv420p", path("silent.mp4")}));
    }

    void init() {
        // Fresh user defaults: mp3 at 192 kbps, ffmpeg in use.
        PrivateEnvironment::resetDefaults();
        m_bus.clear();
        emptyFolder(folder());
    }

    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void severalVideosDescribeTheFirst() {
        const std::vector<fs::path> files{media("clipA.mp4"), media("clipB.mp4")};
        const QString total = bytes(FileNaming::byteCount(files[0]) + FileNaming::byteCount(files[1]));
        AudioPanel panel(files, AudioOrigin::videos);
        QCOMPARE(panel.title(), QStringLiteral("2 videos"));
        QCOMPARE(panel.confirmTitle(), QStringLiteral("Extract"));
        panel.setFormat(AudioFormat::aac);
        QCOMPARE(panel.destinationLabel(), QStringLiteral("Each file → name-converted.m4a"));
        QCOMPARE(panel.subtitle(), total + QStringLiteral(" · details of the first file"));
        probed(panel);
        // A video's container bit rate is not the sound's: left out.
        QCOMPARE(panel.subtitle(),
                 QStringLiteral("0:01 · AAC · ") + total + QStringLiteral(" · details of the first file"));
        // The first file's facts do not predict the others' sizes.
        QVERIFY(!panel.estimatedBytes());
    }

    void losslessFollowsTheSourcesDepthAndTheFormatIsRemembered() {
        // 2 s × 48 kHz × channels × 3 bytes; flac is expected at 60 % of it.
        const std::tuple<AudioFormat, bool, std::int64_t> rows[] = {{AudioFormat::aiff, true, 288000},
                                                                    {AudioFormat::flac, false, 345600}};
        AudioPanel panel({media("tone24.wav")}, AudioOrigin::audioFiles);
        QVERIFY(panel.settings() == (AudioSettings{.format = AudioFormat::mp3, .bitrate = 192}));
        probed(panel);
        for (const auto& [format, mono, bytes] : rows) {
            panel.setFormat(format);
            panel.setMono(mono);
            QCOMPARE(panel.losslessText(), QStringLiteral("Lossless, 24-bit"));
            QCOMPARE(panel.estimatedBytes(), std::optional(bytes));
        }
        QCOMPARE(UserDefaults::string("audio.format"), std::optional<std::string>("flac"));
        AudioPanel sixteenBit({media("tone16.wav")}, AudioOrigin::audioFiles);
        QVERIFY(sixteenBit.settings().format == AudioFormat::flac); // the last one chosen
        probed(sixteenBit);
        QCOMPARE(sixteenBit.losslessText(), QStringLiteral("Lossless, 16-bit"));
    }

    void probeFailureShowsInPlaceOfTheEstimate() {
        AudioPanelView view({media("silent.mp4")}, AudioOrigin::videos);
        view.panel()->start();
        QCOMPARE(view.estimateLine()->shownText(), QStringLiteral("Estimating…"));
        QVERIFY(view.estimateLine()->showsActivity());
        QTRY_VERIFY_WITH_TIMEOUT(!view.panel()->isProbing(), patience);
        QCOMPARE(view.panel()->probeError(),
                 std::optional(QStringLiteral("“silent.mp4” has no audio track.")));
        QCOMPARE(view.estimateLine()->shownText(), *view.panel()->probeError());
        QVERIFY(!view.estimateLine()->showsActivity());
        // The batch reports it for this file; the others may still have sound.
        QVERIFY(view.footer()->confirmButton()->isEnabled());
    }

    void withoutFFmpegNothingCanBeConfirmed() {
        QVERIFY(!AudioPanelView({media("tone24.wav")}, AudioOrigin::audioFiles).notice());
        UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true);
        AudioPanelView view({media("tone24.wav")}, AudioOrigin::audioFiles);
        QSignalSpy confirmed(view.panel(), &AudioPanel::confirmed);
        QVERIFY(!view.panel()->isAvailable());
        QVERIFY(view.notice());
        QVERIFY(std::ranges::any_of(view.notice()->findChildren<QLabel*>(), [](const QLabel* label) {
            return label->text() ==
                   QStringLiteral("Audio conversion needs ffmpeg (sudo apt install ffmpeg).");
        }));
        QVERIFY(!view.footer()->confirmButton()->isEnabled());
        view.panel()->confirm();
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(confirmed.size(), 0);
        // The notice already says why there is no estimate.
        QVERIFY(view.estimateLine()->isHidden());
    }

    void viewFollowsThePanel() {
        const fs::path tone = media("tone24.wav");
        AudioPanelView view({tone}, AudioOrigin::audioFiles);
        AudioPanel* panel = view.panel();
        QSignalSpy confirmed(panel, &AudioPanel::confirmed);
        QVERIFY(!panel->estimatedBytes());
        probed(*panel);
        QCOMPARE(panel->subtitle(),
                 QStringLiteral("0:02 · PCM_S24LE · 2304 kbps · ") + bytes(FileNaming::byteCount(tone)));
        // 2 s at 192 kbps.
        QCOMPARE(view.estimateLine()->shownText(), EstimateLine::sizeText(48000));

        emit view.bitrateChoice()->activated(view.bitrateChoice()->findText(QStringLiteral("320 kbps")));
        QCOMPARE(panel->settings().bitrate, 320);
        choose(view.formatChoice(), AudioFormat::opus);
        QCOMPARE(view.bitrateChoice()->itemText(0), QStringLiteral("32 kbps"));
        QVERIFY(view.losslessLabel()->isHidden());

        choose(view.formatChoice(), AudioFormat::wav);
        QVERIFY(view.bitrateChoice()->isHidden());
        QCOMPARE(view.losslessLabel()->text(), QStringLiteral("Lossless, 24-bit"));
        QCOMPARE(view.footer()->destination(), QStringLiteral("tone24-converted.wav"));

        choose(view.formatChoice(), AudioFormat::aac);
        QCOMPARE(view.bitrateChoice()->count(), 7);
        QCOMPARE(view.bitrateChoice()->currentText(), QStringLiteral("96 kbps"));
        emit view.bitrateChoice()->activated(view.bitrateChoice()->findText(QStringLiteral("256 kbps")));
        view.monoBox()->click();
        view.stripTagsBox()->click();
        QTest::mouseClick(view.footer()->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        QVERIFY(confirmed.front().front().value<AudioSettings>() ==
                (AudioSettings{.format = AudioFormat::aac, .bitrate = 256, .mono = true, .stripTags = true}));
    }

    void confirmedExtractionWritesEachVideosAudio() {
        const fs::path first = copy("clipA.mp4");
        const fs::path silent = copy("silent.mp4");
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        delegate.openURLs({requestURL(ActionKind::audio, {media("tone16.wav")}),
                           requestURL(ActionKind::extractAudio, {first, silent, copy("clipB.mp4")})});
        QCOMPARE(delegate.panels().front()->window()->windowTitle(), QStringLiteral("Compress audio"));
        QVERIFY(panelView<AudioPanelView>(delegate.panels().front())->panel()->origin() == AudioOrigin::audioFiles);
        QCOMPARE(delegate.panels().back()->window()->windowTitle(), QStringLiteral("Extract audio"));
        QTest::mouseClick(panelView<AudioPanelView>(delegate.panels().back())->footer()->confirmButton(),
                          Qt::LeftButton);
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        QCOMPARE(delegate.progressPanels().size(), std::size_t(1));

        QVERIFY(finished.wait(patience));
        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(3));
        QCOMPARE(outcomes[0].output, std::optional(folder() / "clipA-converted.mp3"));
        QCOMPARE(outcomes[2].output, std::optional(folder() / "clipB-converted.mp3"));
        for (const JobOutcome& outcome : {outcomes[0], outcomes[2]})
            QCOMPARE(AudioEngine::inspect(*outcome.output).value().codec, std::string("mp3"));
        // The video without sound fails alone and leaves nothing behind.
        QCOMPARE(outcomes[1].error, std::optional<std::string>("“silent.mp4” has no audio track."));
        QVERIFY(!fs::exists(folder() / "silent-converted.mp3"));
        QVERIFY(delegate.progressPanels().empty());
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Converted: 2 audio files"));
    }
};

QTEST_MAIN(AudioPanelTest)
#include "AudioPanelTest.moc"
