#include "app/panels/PDFPanel.h"

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/panels/EstimateLine.h"
#include "app/panels/PDFPanelView.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/ProgressView.h"
#include "app/panels/PanelWindow.h"
#include "app/panels/SegmentedChoice.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/output/FileNaming.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;
using Resolution = PDFSettings::Resolution;

namespace {

QString text(Phrase phrase) {
    return QString::fromStdString(Localization::string(phrase));
}

// A click on the box itself: the check box spans its row, and a click on the empty rest does nothing.
void toggle(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    QTest::mouseClick(box, Qt::LeftButton, {},
                      box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center());
}

// Each picture of the file as pdfimages lists it: "width height colour".
QStringList pictures(const fs::path& file) {
    QProcess tool;
    tool.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), QString::fromStdString(file.string())});
    if (!tool.waitForFinished(patience) || tool.exitCode() != 0)
        return {QStringLiteral("pdfimages failed")};
    QStringList pictures;
    // Two heading lines, then: page num type width height color ...
    const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& line : lines.mid(2)) {
        const QStringList columns = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (columns.size() > 5)
            pictures.append(columns.mid(3, 3).join(QLatin1Char(' ')));
    }
    return pictures;
}

} // namespace

class PDFPanelTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }
    // A copy of the bundled brochure: pages of 1200 × 900 and 960 × 540 pt.
    fs::path brochure(const std::string& name) {
        const fs::path copy = folder() / name;
        fs::copy_file(fs::path(QUILLMORPH_SAMPLES) / "brochure.pdf", copy,
                      fs::copy_options::overwrite_existing);
        return copy;
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_files;

  private slots:
    void initTestCase() { QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start"); }

    void init() {
        PrivateEnvironment::resetDefaults();
        m_bus.clear();
        emptyFolder(folder());
    }

    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void textsForOneAndSeveralFiles() {
        const fs::path report = brochure("annual.report.v2.pdf");
        const QString oneSize = QString::fromStdString(formatByteCount(FileNaming::byteCount(report)));
        PDFPanelView one({report});
        QCOMPARE(one.panel()->subtitle(), oneSize);
        QCOMPARE(one.footer()->destination(), QStringLiteral("annual.report.v2-compressed.pdf"));
        QVERIFY(!one.findChild<EstimateLine*>());

        // A file that went away meanwhile still counts as one, with no bytes.
        PDFPanelView several({report, folder() / "gone.pdf", brochure("other.pdf")});
        QCOMPARE(several.panel()->title(), QStringLiteral("3 PDFs"));
        QCOMPARE(several.panel()->subtitle(),
                 QString::fromStdString(formatByteCount(2 * FileNaming::byteCount(report))) +
                     QStringLiteral(" · preview of the first PDF"));
        QCOMPARE(several.footer()->destination(), QStringLiteral("Each file → name-compressed.pdf"));
    }

    void resolutionSliderSteps() {
        const std::tuple<int, Resolution, const char*, const char*> steps[] = {
            {0, Resolution::web, "Low (screen)", "96 dpi"},
            {2, Resolution::print, "High (print)", "300 dpi"},
            {1, Resolution::docs, "Medium (documents)", "150 dpi"}};
        PDFPanelView view({brochure("a.pdf")});
        QCOMPARE(view.resolutionSlider()->value(), 1);
        for (const auto& [step, resolution, name, density] : steps) {
            view.resolutionSlider()->setValue(step);
            QVERIFY2(view.panel()->settings().resolution == resolution, name);
            QCOMPARE(view.resolutionName()->text(), QString::fromUtf8(name));
            QCOMPARE(view.resolutionDensity()->text(), QString::fromUtf8(density));
        }
        // Between the steps: the nearest, halves away from zero; past the ends it is docs.
        const std::pair<double, Resolution> positions[] = {{0.49, Resolution::web},
                                                           {0.5, Resolution::docs},
                                                           {1.5, Resolution::print},
                                                           {2.6, Resolution::docs}};
        for (const auto& [position, resolution] : positions) {
            view.panel()->setResolutionStep(position);
            QCOMPARE(view.panel()->resolutionStep(), position);
            QVERIFY2(view.panel()->settings().resolution == resolution, QByteArray::number(position));
        }
    }

    void controlsCarryTheirSettingsIntoConfirm() {
        // 0.145 × 100 is 14.4999… in binary.
        QCOMPARE(PDFPanel::qualityText(0.145), QStringLiteral("15%"));
        QCOMPARE(PDFPanel::qualityText(0.994), QStringLiteral("99%"));

        auto view = std::make_unique<PDFPanelView>(std::vector{brochure("a.pdf")});
        QSignalSpy confirmed(view->panel(), &PDFPanel::confirmed);
        QCOMPARE(view->qualityValue()->text(), QStringLiteral("70%"));
        QVERIFY(!view->grayscaleBox()->isChecked());
        QVERIFY(view->optimizeBox()->isChecked());
        QCOMPARE(view->methodChoice()->currentIndex(), 0);
        QCOMPARE(view->methodDetail()->text(), text(Phrase::pdfMethodPagesAsPicturesDetail));
        view->qualitySlider()->setValue(view->qualitySlider()->minimum());
        QCOMPARE(view->panel()->settings().imageQuality, 0.05);
        QCOMPARE(view->qualityValue()->text(), QStringLiteral("5%"));
        view->panel()->setQuality(3.0);
        QCOMPARE(view->panel()->settings().imageQuality, 1.0);

        view->qualitySlider()->setValue(420);
        view->resolutionSlider()->setValue(2);
        toggle(view->grayscaleBox());
        toggle(view->optimizeBox());
        QTest::mouseClick(view->methodChoice()->findChildren<QToolButton*>().at(1), Qt::LeftButton);
        QCOMPARE(view->methodDetail()->text(),
                 QStringLiteral("Text, links and bookmarks stay; only the pictures are recompressed"));
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        const PDFSettings expected{.imageQuality = 0.42,
                                   .resolution = Resolution::print,
                                   .grayscale = true,
                                   .optimize = false,
                                   .method = PDFSettings::Method::keepText};
        QVERIFY(confirmed.front().front().value<PDFSettings>() == expected);

        // Only the method is remembered: the next panel starts from the defaults with it.
        view.reset();
        PDFPanelView next({brochure("a.pdf")});
        QVERIFY(next.panel()->settings() == PDFSettings{.method = PDFSettings::Method::keepText});
        QCOMPARE(next.methodChoice()->currentIndex(), 1);
    }

    void confirmedBatchWritesEveryOutputWithTheChosenSettings() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        const fs::path fake = folder() / "notes.pdf";
        const std::string notes = "minutes of the meeting, not a PDF\n";
        std::ofstream(fake) << notes;
        launch(delegate,
               {requestURL(ActionKind::pdf, {brochure("first.pdf"), fake, brochure("second.pdf")})});
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        QCOMPARE(delegate.panels().front()->window()->windowTitle(), text(Phrase::windowCompressPdf));
        PDFPanelView* view = panelView<PDFPanelView>(delegate.panels().front());
        view->resolutionSlider()->setValue(0);
        toggle(view->grayscaleBox());
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);

        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QCOMPARE(panelView<ProgressView>(delegate.progressPanels().front())->titleLabel()->text(),
                 text(Phrase::progressPdfs));
        QVERIFY(finished.wait(patience));
        QVERIFY(delegate.progressPanels().empty());

        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(3));
        for (const auto& [index, name] :
             {std::pair{0, "first-compressed.pdf"}, {2, "second-compressed.pdf"}}) {
            const fs::path output = folder() / name;
            QCOMPARE(outcomes[index].output, std::optional(output));
            QCOMPARE(outcomes[index].outputBytes, FileNaming::byteCount(output));
            // Both pages at 96 dpi, in grey.
            QCOMPARE(pictures(output), (QStringList{"1600 1200 gray", "1280 720 gray"}));
        }
        // What is no PDF fails alone, untouched and without output.
        QVERIFY(!outcomes[1].output);
        QCOMPARE(outcomes[1].error, std::optional<std::string>("Could not open the PDF “notes.pdf”."));
        QVERIFY(!fs::exists(folder() / "notes-compressed.pdf"));
        QCOMPARE(fs::file_size(fake), notes.size());

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Compressed: 2 files"));
    }
};

QTEST_MAIN(PDFPanelTest)
#include "PDFPanelTest.moc"
