#include "app/panels/ImagePanel.h"

#include "AppTestSupport.h"
#include "app/panels/EstimateLine.h"
#include "app/panels/ImagePanelView.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/SegmentedChoice.h"
#include "common/ByteCount.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEstimate.h"
#include "engines/output/FileNaming.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <filesystem>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;

namespace {

// The estimate the panel must arrive at for `settings`: the same sample, resized and encoded.
double expectedRatio(const fs::path& first, const ImageSettings& settings) {
    const auto sample = ImageEngine::loadNormalized(first);
    const auto bytes = ImageEstimate::sampleBytes(*sample, settings);
    return double(*bytes) / double(FileNaming::byteCount(first));
}

} // namespace

class ImagePanelTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    fs::path image(const char* name, int width, int height) {
        const fs::path file = folder() / name;
        if (!fs::exists(file))
            writeNoiseImage(file, width, height);
        return file;
    }
    // Waits until the estimate for the panel's current settings has arrived.
    static void settle(ImagePanel& panel) {
        QTRY_VERIFY_WITH_TIMEOUT(panel.hasSample() && panel.estimatedRatio() && !panel.isEstimating(),
                                 patience);
    }

    PrivateEnvironment m_environment;
    QTemporaryDir m_files;

  private slots:
    void severalFilesDescribeTheFirstAndScaleItsEstimate() {
        const std::vector<fs::path> files{image("first.png", 320, 240), image("second.png", 640, 480),
                                          folder() / "missing.png"};
        ImagePanel panel(files);
        QSignalSpy sized(&panel, &ImagePanel::sourceSizeChanged);
        panel.start();
        QCOMPARE(panel.title(), QStringLiteral("3 images"));
        panel.setFormat(ImageFormat::webp);
        QCOMPARE(panel.destinationLabel(), QStringLiteral("Each file → name-converted.webp"));
        QCOMPARE(panel.originalBytes(), FileNaming::byteCount(files[0]) + FileNaming::byteCount(files[1]));
        QVERIFY(sized.wait(patience));
        QCOMPARE(panel.subtitle(), QStringLiteral("320×240 · ") +
                                       QString::fromStdString(formatByteCount(panel.originalBytes())) +
                                       QStringLiteral(" · dimensions of the first image"));
        settle(panel);
        QCOMPARE(*panel.estimatedRatio(), expectedRatio(files[0], panel.settings()));
        QCOMPARE(*panel.estimatedBytes(),
                 std::int64_t(*panel.estimatedRatio() * double(panel.originalBytes())));
    }

    void onlyTheLastOfQuickChangesIsEstimated() {
        const fs::path first = image("quick.png", 320, 240);
        ImagePanel panel({first});
        panel.start();
        settle(panel);
        QList<bool> estimating;
        connect(&panel, &ImagePanel::changed, this, [&] { estimating.append(panel.isEstimating()); });
        // A slider dragged without a pause: no encoding starts until it rests.
        for (const double quality : {0.5, 0.45, 0.4, 0.35, 0.3})
            panel.setQuality(quality);
        QTRY_VERIFY_WITH_TIMEOUT(estimating.contains(true), patience);
        settle(panel);
        QCOMPARE(estimating.count(true), 1);
    }

    void aChangeWhileEncodingDropsThatResult() {
        const fs::path first = image("slow.png", 1600, 1200);
        ImagePanel panel({first});
        panel.start();
        settle(panel);
        // A palette PNG of noise: an encoding slow enough to change the settings while it runs.
        panel.setQuality(0.5);
        QTRY_VERIFY_WITH_TIMEOUT(panel.isEstimating(), patience);
        const std::optional<double> before = panel.estimatedRatio();
        panel.setFormat(ImageFormat::jpg);
        panel.setQuality(0.2);
        // The running encoding is abandoned at once; its result, when it comes, is not shown.
        QVERIFY(!panel.isEstimating());
        QCOMPARE(panel.estimatedRatio(), before);
        settle(panel);
        const std::optional<double> settled = panel.estimatedRatio();
        // Let the abandoned encoding end and its result arrive.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(panel.estimatedRatio(), settled);
    }

    void qualityTextTruncates() {
        QCOMPARE(ImagePanel::qualityText(0.29), QStringLiteral("29%")); // 28.999… in binary
        QCOMPARE(ImagePanel::qualityText(0.999), QStringLiteral("99%"));
        QCOMPARE(ImagePanel::qualityText(1.0), QStringLiteral("100%"));
    }

    void viewFollowsThePanel() {
        const fs::path first = image("view.png", 200, 100);
        ImagePanelView view({first});
        ImagePanel* panel = view.panel();
        QSignalSpy confirmed(panel, &ImagePanel::confirmed);
        panel->start();
        settle(*panel);
        QCOMPARE(view.estimateLine()->shownText(), EstimateLine::sizeText(*panel->estimatedBytes()));
        QCOMPARE(view.footer()->destination(), QStringLiteral("view-converted.png"));

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
        QCOMPARE(panel->settings().quality, 0.42);
        QTest::mouseClick(view.footer()->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        const auto settings = confirmed.front().front().value<ImageSettings>();
        QVERIFY(settings.format == ImageFormat::webp);
        QCOMPARE(settings.quality, 0.42);
    }
};

QTEST_MAIN(ImagePanelTest)
#include "ImagePanelTest.moc"
