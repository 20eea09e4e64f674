#include "AppTestSupport.h"
#include "app/MainMenu.h"
#include "app/ProgressModel.h"
#include "app/panels/ElidedLabel.h"
#include "app/panels/EstimateLine.h"
#include "app/panels/PanelFooter.h"
#include "app/panels/PanelHeader.h"
#include "app/panels/PanelWindow.h"
#include "app/panels/ProgressView.h"
#include "app/panels/SavingBadge.h"
#include "app/panels/Thumbnail.h"

#include <QCryptographicHash>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace quillmorph;
using namespace quillmorph::testing;
namespace fs = std::filesystem;

namespace {

void writeSolidImage(const QString& file, QColor colour, const QString& modified = {}) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(colour);
    if (!modified.isEmpty())
        image.setText(QStringLiteral("Thumb::MTime"), modified);
    QDir().mkpath(QFileInfo(file).path());
    QVERIFY(image.save(file));
}

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

QString mtime(const fs::path& file) {
    struct stat status {};
    ::stat(file.c_str(), &status);
    return QString::number(qint64(status.st_mtim.tv_sec));
}

} // namespace

class PanelComponentsTest : public QObject {
    Q_OBJECT

  private:
    fs::path folder() const { return m_files.path().toStdString(); }

    PrivateEnvironment m_environment;
    QTemporaryDir m_files;

  private slots:
    void savingBadge() {
        const std::tuple<qint64, qint64, QString> rows[] = {
            {0, 0, QStringLiteral("−100%")},        // nothing at all is a full saving
            {1000, 995, QStringLiteral("heavier")}, // exactly 0.5 %
            {1000, 994, QStringLiteral("−1%")},
            {1000, 875, QStringLiteral("−13%")}, // half rounds away from zero
            {1000, 1500, QStringLiteral("heavier")}};
        for (const auto& [original, estimated, text] : rows) {
            SavingBadge badge;
            badge.setValues(original, estimated, QStringLiteral("heavier"));
            QCOMPARE(badge.text(), text);
            QCOMPARE(badge.showsSaving(), text != QStringLiteral("heavier"));
        }
    }

    void estimateLineShowsThePlaceholderUntilASizeIsKnown() {
        EstimateLine line;
        line.setValues({.bytes = std::nullopt,
                        .original = 2'000'000,
                        .heavierText = QStringLiteral("No saving"),
                        .placeholder = QStringLiteral("Estimating…"),
                        .isBusy = true});
        QCOMPARE(line.shownText(), QStringLiteral("Estimating…"));
        QVERIFY(line.showsActivity());
        QVERIFY(line.badge()->isHidden());

        line.setValues({.bytes = 500'000,
                        .original = 2'000'000,
                        .heavierText = QStringLiteral("No saving"),
                        .placeholder = QStringLiteral("Estimating…")});
        QCOMPARE(line.shownText(), QStringLiteral("≈ 500 KB"));
        QVERIFY(!line.showsActivity());
        QVERIFY(!line.badge()->isHidden());
        QCOMPARE(line.badge()->text(), QStringLiteral("−75%"));
        line.setValues({.bytes = 500'000, .original = 2'000'000, .showsSaving = false});
        QVERIFY(line.badge()->isHidden());
    }

    void centredOrigin() {
        QCOMPARE(PanelWindow::centredOrigin(QRect(0, 32, 1920, 1048), QSize(400, 300)), QPoint(760, 406));
        // Halves round away from zero.
        QCOMPARE(PanelWindow::centredOrigin(QRect(0, 0, 1919, 1079), QSize(400, 300)), QPoint(760, 390));
        // A secondary screen left of the primary one.
        QCOMPARE(PanelWindow::centredOrigin(QRect(-1280, 0, 1280, 1024), QSize(401, 301)), QPoint(-841, 362));
    }

    void panelWindowFloatsAndReportsItsClosing() {
        PanelWindow panel;
        QSignalSpy closed(&panel, &PanelWindow::windowClosed);
        panel.open(new QLabel(QStringLiteral("content")), QStringLiteral("Compress images"));
        QWidget* window = panel.window();
        QVERIFY(window->isVisible());
        QVERIFY(window->windowFlags().testFlag(Qt::Tool));
        QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // Centred on the visible area; the frame, unknown before the window shows, may shift it a little.
        const QPoint offset =
            window->frameGeometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 8,
                 qPrintable(QStringLiteral("off by %1, %2").arg(offset.x()).arg(offset.y())));
        window->close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!panel.window());
    }

    void footerKeysAndDestination() {
        QWidget window;
        auto* footer = new PanelFooter(QStringLiteral("Compress"), nullptr, &window);
        QSignalSpy cancelled(footer, &PanelFooter::cancelled);
        QSignalSpy confirmed(footer, &PanelFooter::confirmed);
        footer->setDestination(QStringLiteral("first line\nsecond line"));
        QCOMPARE(footer->findChildren<ElidedLabel*>().size(), 2);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(confirmed.size(), 1);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(cancelled.size(), 1);

        footer->setConfirmDisabled(true);
        QTest::keyClick(&window, Qt::Key_Return);
        QTest::mouseClick(footer->confirmButton(), Qt::LeftButton);
        QCOMPARE(confirmed.size(), 1);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(cancelled.size(), 2);
    }

    void thumbnailCandidatesFollowTheFreedesktopCache() {
        const fs::path file = "/tmp/a b/ph#oto.jpg";
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash("file:///tmp/a%20b/ph%23oto.jpg", QCryptographicHash::Md5).toHex());
        const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
        const auto candidates = Thumbnail::cacheCandidates(file);
        QCOMPARE(candidates.size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(candidates[0].string()),
                 cache + "/thumbnails/large/" + hash + ".png");
        QCOMPARE(QString::fromStdString(candidates[1].string()),
                 cache + "/thumbnails/normal/" + hash + ".png");
    }

    void headerShowsTheCachedThumbnailElseADecodedOne() {
        const fs::path cachedFile = folder() / "cached.png";
        writeSolidImage(QString::fromStdString(cachedFile.string()), Qt::blue);
        const fs::path staleFile = folder() / "stale.png";
        writeSolidImage(QString::fromStdString(staleFile.string()), Qt::green);
        writeSolidImage(QString::fromStdString(Thumbnail::cacheCandidates(cachedFile)[1].string()), Qt::red,
                        mtime(cachedFile));
        writeSolidImage(QString::fromStdString(Thumbnail::cacheCandidates(staleFile)[0].string()), Qt::red,
                        QStringLiteral("12345"));

        PanelHeader header(folder() / "absent.png", QStringLiteral("title"), QStringLiteral("subtitle"));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QSignalSpy loaded(&header, &PanelHeader::thumbnailLoaded);
        header.setFile(cachedFile);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, patience);
        QCOMPARE(centre(*header.thumbnail()), QColor(Qt::red));

        header.setFile(staleFile);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 2, patience);
        QCOMPARE(centre(*header.thumbnail()), QColor(Qt::green));

        // A file with no thumbnail at all keeps the icon.
        const fs::path text = folder() / "notes.txt";
        std::ofstream(text) << "plain text";
        header.setFile(text);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 3, patience);
        QVERIFY(!header.thumbnail());
    }

    void changingTheFileAbandonsThePendingThumbnail() {
        const fs::path first = folder() / "first.png";
        const fs::path second = folder() / "second.png";
        writeNoiseImage(first, 3000, 2000);
        writeSolidImage(QString::fromStdString(second.string()), Qt::green);
        PanelHeader header(first, QStringLiteral("title"), QStringLiteral("subtitle"));
        QSignalSpy loaded(&header, &PanelHeader::thumbnailLoaded);
        header.setFile(second);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, patience);
        QCOMPARE(centre(*header.thumbnail()), QColor(Qt::green));
        // The first file's load ends too, later; it must not replace the second's thumbnail.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(centre(*header.thumbnail()), QColor(Qt::green));
    }

    void progressWindowShowsTheModelAndCancelOnlyWhileOffered() {
        const std::tuple<int, int, QString, double, QString, QString> rows[] = {
            {0, 0, QString(), -1.0, QStringLiteral("0%"), QStringLiteral("0 of 0")},
            {1, 3, QStringLiteral("clip.mov"), 0.5, QStringLiteral("50%"),
             QStringLiteral("clip.mov — 2 of 3")},
            {1, 8, QString(), -1.0, QStringLiteral("13%"), QStringLiteral("1 of 8")}}; // half away from zero
        for (const auto& [done, total, label, fraction, percentage, countLine] : rows) {
            ProgressModel model;
            ProgressView view(model);
            model.begin(total, QStringLiteral("Converting"));
            model.setDone(done);
            model.setLabel(label);
            if (fraction >= 0) // the running file's share counts in the whole
                model.setFraction(fraction);
            QCOMPARE(view.percentage()->text(), percentage);
            QCOMPARE(view.countLine()->text(), countLine);
            QCOMPARE(view.titleLabel()->text(), QStringLiteral("Converting"));
            QVERIFY(view.cancelButton()->isHidden());
            int cancels = 0;
            model.setOnCancel([&] { ++cancels; });
            QTest::mouseClick(view.cancelButton(), Qt::LeftButton);
            QCOMPARE(cancels, 1);
        }
    }

    void menuItemsActOnTheFocusedField() {
        int quits = 0;
        MainMenu* menu = MainMenu::install([&] { ++quits; }, this);
        QWidget window;
        auto* field = new QLineEdit(QStringLiteral("some text"), &window);
        menu->attach(&window, MainMenu::Bar::hidden);
        QCOMPARE(menu->editMenu()->actions()[6]->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
        QCOMPARE(menu->applicationMenu()->actions()[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        field->deselect();
        menu->editMenu()->actions()[6]->trigger();
        QCOMPARE(field->selectedText(), QStringLiteral("some text"));
        menu->applicationMenu()->actions()[0]->trigger();
        QCOMPARE(quits, 1);
        delete menu;
    }
};

QTEST_MAIN(PanelComponentsTest)
#include "PanelComponentsTest.moc"
