// Opens every panel in every language, in GNOME's default font, and checks that every row label
// gets the room its text needs.
#include "AppTestSupport.h"
#include "app/panels/AudioPanelView.h"
#include "app/panels/ImagePanelView.h"
#include "app/panels/PDFPanelView.h"
#include "app/panels/VideoPanelView.h"
#include "common/Localization.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <functional>

using namespace quillmorph;
using namespace quillmorph::testing;

class PanelLabelsTest : public QObject {
    Q_OBJECT

  private:
    PrivateEnvironment m_environment;

  private slots:
    void initTestCase() {
        QApplication::setFont(QFont(QStringLiteral("Cantarell"), 11));
        QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Cantarell"));
    }

    void everyRowLabelFitsInEveryLanguage() {
        const std::filesystem::path samples = QUILLMORPH_SAMPLES;
        const VideoInfo clip{.width = 1920, .height = 1080, .duration = 90, .hasAudio = true};
        const std::vector<std::pair<const char*, std::function<QWidget*()>>> panels{
            {"image",
             [&] {
                 return new ImagePanelView({samples / "fractal.jpg"});
             }},
            {"video",
             [&] {
                 auto* view = new VideoPanelView({samples / "clip.mp4"}, clip);
                 view->advancedButton()->click();
                 return view;
             }},
            {"audio",
             [&] {
                 return new AudioPanelView({samples / "tone.wav"}, AudioOrigin::audioFiles);
             }},
            {"pdf",
             [&] {
                 return new PDFPanelView({samples / "brochure.pdf"});
             }},
        };
        for (const Language& language : Localization::languages()) {
            Localization::setLanguage(language.code);
            for (const auto& [name, make] : panels) {
                const QByteArray where = QByteArray(name) + " panel in " + language.code.c_str() + ": ";
                PanelWindow panel;
                panel.open(make(), QString());
                const auto labels = panel.window()->findChildren<QLabel*>(QStringLiteral("PanelRowLabel"));
                QVERIFY2(!labels.isEmpty(), where);
                const auto columnEnd = [&](const QLabel* label) {
                    return label->mapTo(panel.window(), QPoint(label->width(), 0)).x();
                };
                for (const QLabel* label : labels) {
                    const QRect space = label->contentsRect();
                    const QRect needed =
                        label->fontMetrics().boundingRect(space, Qt::TextWordWrap, label->text());
                    QVERIFY2(needed.width() <= space.width() && needed.height() <= space.height(),
                             where + label->text().toUtf8() + " is cut");
                    QVERIFY2(columnEnd(label) == columnEnd(labels.front()),
                             where + "the rows do not line up");
                }
            }
        }
    }
};

QTEST_MAIN(PanelLabelsTest)
#include "PanelLabelsTest.moc"
