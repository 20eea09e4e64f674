#include "app/panels/PDFPanel.h"

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/panels/EstimateLine.h"
#include "app/panels/PDFPanelView.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/PanelHeader.h"
#include "app/panels/PanelWindow.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "common/RequestTransport.h"
#include "engines/batch/BatchReport.h"
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
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;
using Resolution = PDFSettings::Resolution;

namespace {

constexpr int patience = 60000; // ms; sanitizer builds on a shared machine are slow

QString text(Phrase phrase) {
    return QString::fromStdString(Localization::string(phrase));
}

QString requestURL(const std::vector<fs::path>& files) {
    QuillmorphRequest request{.action = ActionKind::pdf};
    for (const fs::path& file : files)
        request.paths.push_back(file.string());
    return QString::fromStdString(RequestTransport::url(request).value());
}

// A click on the box itself: the check box spans its row, and a click on the empty rest of it does
// nothing.
void toggle(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

PDFPanelView* pdfView(PanelWindow* panel) {
    return panel && panel->window() ? panel->window()->findChild<PDFPanelView*>() : nullptr;
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
            pictures.append(columns[3] + QLatin1Char(' ') + columns[4] + QLatin1Char(' ') + columns[5]);
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
    void launch(AppDelegate& delegate, const std::vector<fs::path>& files) {
        delegate.applicationDidFinishLaunching();
        delegate.openURLs({requestURL(files)});
        QTRY_COMPARE_WITH_TIMEOUT(delegate.activeJobs(), 0, patience);
    }

    PrivateEnvironment m_environment;
    PrivateSessionBus m_bus;
    QTemporaryDir m_files;

  private slots:
    void initTestCase() { QVERIFY2(m_bus.isRunning(), "dbus-daemon did not start"); }

    void init() {
        m_bus.clear();
        for (const auto& entry : fs::directory_iterator(folder()))
            fs::remove_all(entry.path());
    }

    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void textsForOneAndSeveralFiles_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("missing"); // a file of the selection that went away meanwhile
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle"); // after the byte total
        QTest::addColumn<QString>("destination");
        const QString each = QStringLiteral("Each file → name-compressed.pdf");
        const QString ofMany = QStringLiteral(" · preview of the first PDF");
        QTest::newRow("one file") << QStringList{"annual.report.v2.pdf"} << QString()
                                  << "annual.report.v2.pdf" << QString() << "annual.report.v2-compressed.pdf";
        QTest::newRow("two files") << QStringList{"a.pdf", "b.pdf"} << QString() << "2 PDFs" << ofMany
                                   << each;
        QTest::newRow("one gone") << QStringList{"a.pdf", "gone.pdf", "c.pdf"} << "gone.pdf"
                                  << "3 PDFs" << ofMany << each;
    }

    void textsForOneAndSeveralFiles() {
        QFETCH(QStringList, names);
        QFETCH(QString, missing);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QFETCH(QString, destination);
        std::vector<fs::path> files;
        std::int64_t total = 0;
        for (const QString& name : names) {
            files.push_back(name == missing ? folder() / name.toStdString() : brochure(name.toStdString()));
            total += name == missing ? 0 : std::int64_t(fs::file_size(files.back()));
        }
        subtitle.prepend(QString::fromStdString(formatByteCount(total)));

        PDFPanelView view(files);
        QCOMPARE(view.panel()->title(), title);
        QCOMPARE(view.panel()->subtitle(), subtitle);
        QCOMPARE(view.panel()->destinationLabel(), destination);
        QCOMPARE(view.header()->title(), title);
        QCOMPARE(view.header()->subtitle(), subtitle);
        QCOMPARE(view.footer()->destination(), destination);
        QCOMPARE(view.footer()->confirmButton()->text(), QStringLiteral("Compress"));
        QVERIFY(!view.findChild<EstimateLine*>());
    }

    void resolutionSliderSteps_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<Resolution>("resolution");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("density");
        QTest::newRow("left end") << 0 << Resolution::web << "Low (screen)"
                                  << "96 dpi";
        QTest::newRow("middle") << 1 << Resolution::docs << "Medium (documents)"
                                << "150 dpi";
        QTest::newRow("right end") << 2 << Resolution::print << "High (print)"
                                   << "300 dpi";
    }

    void resolutionSliderSteps() {
        QFETCH(int, step);
        QFETCH(Resolution, resolution);
        QFETCH(QString, name);
        QFETCH(QString, density);
        PDFPanelView view({brochure("a.pdf")});
        QCOMPARE(view.resolutionSlider()->value(), 1);
        // Away from the starting step first, so that the step under test is a move.
        view.resolutionSlider()->setValue(step == 1 ? 2 : 1);
        view.resolutionSlider()->setValue(step);
        QVERIFY(view.panel()->settings().resolution == resolution);
        QCOMPARE(view.panel()->resolutionStep(), double(step));
        QCOMPARE(view.resolutionName()->text(), name);
        QCOMPARE(view.resolutionDensity()->text(), density);
    }

    void positionsBetweenStepsRoundToTheNearest() {
        // Halves away from zero; only 0 and 2 are the ends, any other position is docs.
        const std::pair<double, Resolution> positions[] = {
            {0.49, Resolution::web},  {0.5, Resolution::docs},
            {1.49, Resolution::docs}, {1.5, Resolution::print},
            {-0.4, Resolution::web},  {-0.6, Resolution::docs},
            {2.6, Resolution::docs},  {std::numeric_limits<double>::quiet_NaN(), Resolution::docs}};
        PDFPanel panel({brochure("a.pdf")});
        for (const auto& [position, resolution] : positions) {
            panel.setResolutionStep(0.0);
            panel.setResolutionStep(position);
            QVERIFY2(panel.settings().resolution == resolution, QByteArray::number(position).constData());
        }
    }

    void qualityShowsAsRoundedPercentage() {
        const std::pair<double, const char*> rows[] = {{0.05, "5%"},   {0.7, "70%"},   {1.0, "100%"},
                                                       {0.145, "15%"}, {0.565, "57%"}, {0.994, "99%"}};
        for (const auto& [quality, shown] : rows)
            QCOMPARE(PDFPanel::qualityText(quality), QString::fromUtf8(shown));

        PDFPanelView view({brochure("a.pdf")});
        QCOMPARE(view.qualityValue()->text(), QStringLiteral("70%"));
        view.qualitySlider()->setValue(view.qualitySlider()->minimum());
        QCOMPARE(view.panel()->settings().imageQuality, 0.05);
        QCOMPARE(view.qualityValue()->text(), QStringLiteral("5%"));
        // The model keeps the slider's range whatever it is given.
        view.panel()->setQuality(0.0);
        QCOMPARE(view.panel()->settings().imageQuality, PDFPanel::minimumQuality);
        view.panel()->setQuality(3.0);
        QCOMPARE(view.panel()->settings().imageQuality, 1.0);
        QCOMPARE(view.qualityValue()->text(), QStringLiteral("100%"));
    }

    void controlsCarryTheirSettingsIntoConfirm() {
        auto* view = new PDFPanelView({brochure("a.pdf")});
        QSignalSpy confirmed(view->panel(), &PDFPanel::confirmed);
        QSignalSpy cancelled(view->panel(), &PDFPanel::cancelled);
        QVERIFY(view->panel()->settings() == PDFSettings{});
        QVERIFY(!view->grayscaleBox()->isChecked());
        QVERIFY(view->optimizeBox()->isChecked());

        view->qualitySlider()->setValue(420);
        view->resolutionSlider()->setValue(2);
        toggle(view->grayscaleBox());
        toggle(view->optimizeBox());
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        const PDFSettings expected{
            .imageQuality = 0.42, .resolution = Resolution::print, .grayscale = true, .optimize = false};
        QVERIFY(confirmed.front().front().value<PDFSettings>() == expected);

        QTest::mouseClick(view->footer()->cancelButton(), Qt::LeftButton);
        QCOMPARE(cancelled.size(), 1);
        delete view;
        // Nothing is remembered: the next panel starts from the defaults.
        PDFPanelView next({brochure("a.pdf")});
        QVERIFY(next.panel()->settings() == PDFSettings{});
        QCOMPARE(next.resolutionSlider()->value(), 1);
    }

    void requestOpensThePanelAndCancelCloses() {
        AppDelegate delegate;
        launch(delegate, {brochure("a.pdf")});
        QCOMPARE(delegate.panels().size(), std::size_t(1));
        PanelWindow* panel = delegate.panels().front();
        QCOMPARE(panel->window()->windowTitle(), text(Phrase::windowCompressPdf));
        QVERIFY(panel->window()->isVisible());
        PDFPanelView* view = pdfView(panel);
        QVERIFY(view);
        QCOMPARE(view->panel()->files(), std::vector<fs::path>{folder() / "a.pdf"});
        QTest::mouseClick(view->footer()->cancelButton(), Qt::LeftButton);
        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 0);
    }

    void confirmedBatchWritesEveryOutputWithTheChosenSettings() {
        AppDelegate delegate;
        QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
        const fs::path first = brochure("first.pdf");
        const fs::path second = brochure("second.pdf");
        launch(delegate, {first, second});
        PDFPanelView* view = pdfView(delegate.panels().front());
        view->resolutionSlider()->setValue(0);
        toggle(view->grayscaleBox());
        QTest::mouseClick(view->footer()->confirmButton(), Qt::LeftButton);

        QVERIFY(delegate.panels().empty());
        QCOMPARE(delegate.activeJobs(), 1);
        QVERIFY(delegate.progressPanel()); // two files
        QCOMPARE(delegate.progress().title(), text(Phrase::progressPdfs));
        QVERIFY(finished.wait(patience));
        QVERIFY(!delegate.progressPanel());
        QCOMPARE(delegate.progress().done(), 2);

        const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
        QCOMPARE(outcomes.size(), std::size_t(2));
        const fs::path outputs[] = {folder() / "first-compressed.pdf", folder() / "second-compressed.pdf"};
        for (std::size_t index = 0; index < 2; ++index) {
            QVERIFY(outcomes[index].succeeded());
            QCOMPARE(outcomes[index].output, std::optional(outputs[index]));
            QCOMPARE(outcomes[index].outputBytes, FileNaming::byteCount(outputs[index]));
            // Pages of 1200 × 900 and 960 × 540 pt at 96 dpi, in grey.
            QCOMPARE(pictures(outputs[index]),
                     (QStringList{QStringLiteral("1600 1200 gray"), QStringLiteral("1280 720 gray")}));
        }

        QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
        const BatchSummary expected = BatchReport::summarize(
            outcomes, Localization::string(Phrase::notifyPdfsVerb), Phrase::notifyImagesCount);
        QCOMPARE(m_bus.notifications().front().title, QStringLiteral("Compressed: 2 files"));
        QCOMPARE(m_bus.notifications().front().body, QString::fromStdString(expected.body));
        QTRY_COMPARE_WITH_TIMEOUT(m_bus.shownItems().size(), 1, patience);
        QCOMPARE(m_bus.shownItems().front().size(), 2);
    }

    void aFileThatIsNotAPDFFailsAlone() {
        const fs::path fake = folder() / "notes.pdf";
        const std::string notes = "minutes of the meeting, not a PDF\n";
        std::ofstream(fake) << notes;
        const fs::path good = brochure("good.pdf");
        struct Row {
            const char* name;
            std::vector<fs::path> files;
            QString title;
        };
        const Row rows[] = {
            {"beside a PDF", {fake, good}, QStringLiteral("Compressed: good-compressed.pdf")},
            {"alone", {fake}, text(Phrase::notifyFailedTitle)},
        };
        for (const Row& row : rows) {
            const QByteArray name = row.name;
            m_bus.clear();
            fs::remove(folder() / "good-compressed.pdf");
            AppDelegate delegate;
            QSignalSpy finished(&delegate, &AppDelegate::batchFinished);
            launch(delegate, row.files);
            QTest::mouseClick(pdfView(delegate.panels().front())->footer()->confirmButton(), Qt::LeftButton);
            QCOMPARE(bool(delegate.progressPanel()), row.files.size() >= 2);
            QVERIFY2(finished.wait(patience), name.constData());
            const auto outcomes = finished.front().front().value<std::vector<JobOutcome>>();
            QVERIFY(!outcomes[0].succeeded());
            QVERIFY(!outcomes[0].output);
            QCOMPARE(outcomes[0].error, std::optional<std::string>("Could not open the PDF “notes.pdf”."));
            QVERIFY(!fs::exists(folder() / "notes-compressed.pdf"));
            QCOMPARE(fs::file_size(fake), notes.size()); // the source is left alone

            QTRY_COMPARE_WITH_TIMEOUT(m_bus.notifications().size(), 1, patience);
            QCOMPARE(m_bus.notifications().front().title, row.title);
            if (row.files.size() == 2) {
                QVERIFY(outcomes[1].succeeded());
                QVERIFY(m_bus.notifications().front().body.endsWith(QStringLiteral("1 failed")));
                QTRY_COMPARE_WITH_TIMEOUT(m_bus.shownItems().size(), 1, patience);
            } else {
                QCOMPARE(m_bus.notifications().front().body, QString::fromStdString(*outcomes[0].error));
                QTest::qWait(200);
                QVERIFY(m_bus.shownItems().empty());
            }
        }
    }
};

QTEST_MAIN(PDFPanelTest)
#include "PDFPanelTest.moc"
