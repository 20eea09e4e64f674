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
#include "common/QuillmorphRequest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <filesystem>
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
    void savingBadge_data() {
        QTest::addColumn<qint64>("original");
        QTest::addColumn<qint64>("estimated");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("saves");
        QTest::newRow("nothing at all is a full saving") << 0LL << 0LL << QStringLiteral("−100%") << true;
        QTest::newRow("equal") << 1000LL << 1000LL << QStringLiteral("heavier") << false;
        QTest::newRow("exactly 0.5 % (995 of 1000)") << 1000LL << 995LL << QStringLiteral("heavier") << false;
        QTest::newRow("exactly 0.5 % (199 of 200)") << 200LL << 199LL << QStringLiteral("heavier") << false;
        QTest::newRow("just above 0.5 %") << 1000LL << 994LL << QStringLiteral("−1%") << true;
        QTest::newRow("37 %") << 1000LL << 630LL << QStringLiteral("−37%") << true;
        QTest::newRow("half rounds away from zero") << 1000LL << 875LL << QStringLiteral("−13%") << true;
        QTest::newRow("larger") << 1000LL << 1500LL << QStringLiteral("heavier") << false;
    }
    void savingBadge() {
        QFETCH(qint64, original);
        QFETCH(qint64, estimated);
        QFETCH(QString, text);
        QFETCH(bool, saves);
        SavingBadge badge;
        badge.setValues(original, estimated, QStringLiteral("heavier"));
        QCOMPARE(badge.text(), text);
        QCOMPARE(badge.showsSaving(), saves);
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

    void centredOrigin_data() {
        QTest::addColumn<QRect>("visible");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("origin");
        QTest::newRow("even") << QRect(0, 0, 1920, 1080) << QSize(400, 300) << QPoint(760, 390);
        QTest::newRow("below a top bar") << QRect(0, 32, 1920, 1048) << QSize(400, 300) << QPoint(760, 406);
        QTest::newRow("halves round away from zero")
            << QRect(0, 0, 1919, 1079) << QSize(400, 300) << QPoint(760, 390);
        QTest::newRow("secondary screen on the left")
            << QRect(-1280, 0, 1280, 1024) << QSize(401, 301) << QPoint(-841, 362);
    }
    void centredOrigin() {
        QFETCH(QRect, visible);
        QFETCH(QSize, size);
        QFETCH(QPoint, origin);
        QCOMPARE(PanelWindow::centredOrigin(visible, size), origin);
    }

    void screenUnderThePointer() {
        const QList<QScreen*> screens = QGuiApplication::screens();
        QVERIFY(!screens.isEmpty());
        QScreen* screen = screens.front();
        QCOMPARE(PanelWindow::screenAt(screen->geometry().center(), screens), screen);
        QVERIFY(!PanelWindow::screenAt(screen->geometry().bottomRight() + QPoint(50000, 50000), screens));
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
        const fs::path plainFile = folder() / "plain.png";
        writeSolidImage(QString::fromStdString(plainFile.string()), Qt::green);
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

    void headerWithoutThumbnailKeepsTheIcon() {
        const fs::path text = folder() / "notes.txt";
        {
            QFile file(QString::fromStdString(text.string()));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("plain text");
        }
        PanelHeader header(folder() / "absent.png", QStringLiteral("title"), QStringLiteral("subtitle"));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QSignalSpy loaded(&header, &PanelHeader::thumbnailLoaded);
        header.setFile(text);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, patience);
        QVERIFY(!header.thumbnail());
    }

    void progressModel_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("fraction"); // negative: none
        QTest::addColumn<double>("overall");
        QTest::addColumn<QString>("percentage");
        QTest::addColumn<QString>("countLine");
        QTest::newRow("nothing to do")
            << 0 << 0 << QString() << -1.0 << 0.0 << QStringLiteral("0%") << QStringLiteral("0 of 0");
        QTest::newRow("images, 3 of 4 finished")
            << 3 << 4 << QString() << -1.0 << 0.75 << QStringLiteral("75%") << QStringLiteral("3 of 4");
        QTest::newRow("videos, second half done")
            << 1 << 3 << QStringLiteral("clip.mov") << 0.5 << 0.5 << QStringLiteral("50%")
            << QStringLiteral("clip.mov — 2 of 3");
        QTest::newRow("percentage rounds half away from zero")
            << 1 << 8 << QString() << -1.0 << 0.125 << QStringLiteral("13%") << QStringLiteral("1 of 8");
    }
    void progressModel() {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(QString, label);
        QFETCH(double, fraction);
        QFETCH(double, overall);
        QFETCH(QString, percentage);
        QFETCH(QString, countLine);
        ProgressModel model;
        model.begin(total, QStringLiteral("Converting"));
        model.setDone(done);
        model.setLabel(label);
        if (fraction >= 0)
            model.setFraction(fraction);
        QCOMPARE(model.overall(), overall);
        ProgressView view(model);
        QCOMPARE(view.percentage()->text(), percentage);
        QCOMPARE(view.countLine()->text(), countLine);
        QCOMPARE(view.titleLabel()->text(), QStringLiteral("Converting"));
    }

    void progressCancelOnlyWhileOffered() {
        ProgressModel model;
        ProgressView view(model);
        model.begin(3, QStringLiteral("Videos"));
        QVERIFY(view.cancelButton()->isHidden());
        int cancels = 0;
        model.setOnCancel([&] { ++cancels; });
        QVERIFY(!view.cancelButton()->isHidden());
        QTest::mouseClick(view.cancelButton(), Qt::LeftButton);
        QCOMPARE(cancels, 1);
        // begin keeps the cancel action; clearing it hides the button.
        model.begin(2, QStringLiteral("Videos"));
        QVERIFY(!view.cancelButton()->isHidden());
        model.setOnCancel(nullptr);
        QVERIFY(view.cancelButton()->isHidden());
    }

    void mainMenu_data() {
        QTest::addColumn<int>("menu");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("quit") << 0 << 0 << QStringLiteral("Quit Quillmorph")
                              << QKeySequence(QStringLiteral("Ctrl+Q"));
        QTest::newRow("undo") << 1 << 0 << QStringLiteral("Undo") << QKeySequence(QStringLiteral("Ctrl+Z"));
        QTest::newRow("redo") << 1 << 1 << QStringLiteral("Redo")
                              << QKeySequence(QStringLiteral("Ctrl+Shift+Z"));
        QTest::newRow("cut") << 1 << 3 << QStringLiteral("Cut") << QKeySequence(QStringLiteral("Ctrl+X"));
        QTest::newRow("copy") << 1 << 4 << QStringLiteral("Copy") << QKeySequence(QStringLiteral("Ctrl+C"));
        QTest::newRow("paste") << 1 << 5 << QStringLiteral("Paste") << QKeySequence(QStringLiteral("Ctrl+V"));
        QTest::newRow("select all") << 1 << 6 << QStringLiteral("Select All")
                                    << QKeySequence(QStringLiteral("Ctrl+A"));
    }
    void mainMenu() {
        QFETCH(int, menu);
        QFETCH(int, item);
        QFETCH(QString, title);
        QFETCH(QKeySequence, shortcut);
        MainMenu* mainMenu = MainMenu::install([] {}, this);
        const QMenu* chosen = menu == 0 ? mainMenu->applicationMenu() : mainMenu->editMenu();
        QCOMPARE(mainMenu->editMenu()->title(), QStringLiteral("Edit"));
        QVERIFY(mainMenu->editMenu()->actions()[2]->isSeparator());
        QCOMPARE(chosen->actions()[item]->text(), title);
        QCOMPARE(chosen->actions()[item]->shortcut(), shortcut);
        delete mainMenu;
    }

    void menuItemsActOnTheFocusedField() {
        int quits = 0;
        MainMenu* menu = MainMenu::install([&] { ++quits; }, this);
        QWidget window;
        auto* field = new QLineEdit(QStringLiteral("some text"), &window);
        menu->attach(&window, MainMenu::Bar::hidden);
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
