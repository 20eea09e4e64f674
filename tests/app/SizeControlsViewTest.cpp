#include "app/panels/SizeControlsView.h"

#include "AppTestSupport.h"
#include "app/panels/AspectRatioLock.h"
#include "app/panels/NumericLineEdit.h"
#include "app/panels/SegmentedChoice.h"

#include <QSignalSpy>
#include <QTest>

using namespace quillmorph;
using namespace quillmorph::testing;
using Side = SizeControls::Side;

class SizeControlsViewTest : public QObject {
    Q_OBJECT

  private:
    // Shown, with a 4000 × 3000 source, the width field focused.
    struct Shown {
        SizeControlsView view{FrameSizing::untouched(), true};
        Shown() {
            view.setSource({4000, 3000});
            view.show();
            QVERIFY(QTest::qWaitForWindowActive(&view));
            view.field(Side::width)->setFocus();
        }
        QString text(Side side) const { return view.field(side)->text(); }
        void type(Side side, const QString& text) {
            view.field(side)->selectAll();
            QTest::keyClicks(view.field(side), text);
        }
    };

    PrivateEnvironment m_environment;

  private slots:
    void sourceFillsTheFieldsWithoutChangingTheRequest() {
        SizeControlsView view(FrameSizing::untouched(), true);
        QSignalSpy sizing(&view, &SizeControlsView::sizingChanged);
        QCOMPARE(view.field(Side::width)->text(), QString());
        view.setSource({4000, 3000});
        QCOMPARE(view.field(Side::width)->text(), QStringLiteral("4000"));
        QCOMPARE(view.field(Side::height)->text(), QStringLiteral("3000"));
        QCOMPARE(sizing.size(), 0);
    }

    void typingDerivesTheOtherSideAndArrowsStep() {
        Shown shown;
        QSignalSpy sizing(&shown.view, &SizeControlsView::sizingChanged);
        shown.type(Side::width, QStringLiteral("2000"));
        QCOMPARE(shown.text(Side::height), QStringLiteral("1500"));
        QVERIFY(sizing.last().front().value<FrameSizing>() == FrameSizing::fit(2000, 1500));

        QTest::keyClick(shown.view.field(Side::width), Qt::Key_Up);
        QCOMPARE(shown.text(Side::width), QStringLiteral("2001"));
        QTest::keyClick(shown.view.field(Side::width), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(shown.text(Side::width), QStringLiteral("2011"));
        QTest::keyClick(shown.view.field(Side::width), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(shown.text(Side::width), QStringLiteral("2001"));
        QCOMPARE(shown.view.field(Side::width)->cursorPosition(), 4);
        QVERIFY(shown.view.controls().sizing() == FrameSizing::fit(2001, 1501));
        // Never below 1.
        shown.type(Side::height, QStringLiteral("3"));
        QTest::keyClick(shown.view.field(Side::height), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(shown.text(Side::height), QStringLiteral("1"));
        // Text that is no number is left to the field.
        shown.type(Side::width, QStringLiteral("abc"));
        QTest::keyClick(shown.view.field(Side::width), Qt::Key_Up);
        QCOMPARE(shown.text(Side::width), QStringLiteral("abc"));
        // The end of editing tidies the text.
        shown.type(Side::width, QStringLiteral("1200px"));
        QTest::keyClick(shown.view.field(Side::width), Qt::Key_Tab);
        QCOMPARE(shown.text(Side::width), QStringLiteral("1200"));
        QCOMPARE(shown.text(Side::height), QStringLiteral("900"));
    }

    void unitSwitchConvertsAndTheLockExplainsItself() {
        Shown shown;
        QSignalSpy linked(&shown.view, &SizeControlsView::linkedChanged);
        shown.type(Side::width, QStringLiteral("2000"));
        emit shown.view.unitChoice()->chosen(int(SizeUnit::percent));
        QCOMPARE(shown.text(Side::height), QStringLiteral("50"));
        QCOMPARE(shown.view.unitChoice()->currentIndex(), int(SizeUnit::percent));

        AspectRatioLock* lock = shown.view.lock();
        QVERIFY(lock->isChecked());
        QCOMPARE(lock->toolTip(), QStringLiteral("Proportions locked: width and height change together"));
        QCOMPARE(lock->accessibleName(), QStringLiteral("Proportions locked"));
        QTest::mouseClick(lock, Qt::LeftButton);
        QVERIFY(!lock->isChecked());
        QCOMPARE(linked.size(), 1);
        QCOMPARE(lock->toolTip(),
                 QStringLiteral("Proportions free: exact width and height, cropped to fill"));
        QCOMPARE(lock->accessibleName(), QStringLiteral("Proportions free"));
        QVERIFY(shown.view.controls().sizing() == FrameSizing::exact(2000, 1500));
        // Free: each side alone.
        shown.type(Side::height, QStringLiteral("25"));
        QCOMPARE(shown.text(Side::width), QStringLiteral("50"));
        QVERIFY(shown.view.controls().sizing() == FrameSizing::exact(2000, 750));
    }
};

QTEST_MAIN(SizeControlsViewTest)
#include "SizeControlsViewTest.moc"
