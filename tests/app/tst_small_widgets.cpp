#include "app/CustomSplitter.h"
#include "app/hub/NoWheelSlider.h"

#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>

class TestSmallWidgets : public QObject {
    Q_OBJECT
private slots:
    void sliderMovesOnlyByItsHandle();
    void sliderIgnoresWheel();
    void splitterReleaseEmitsOnce();
};

static QRect handleRect(NoWheelSlider& s) {
    QStyleOptionSlider opt;
    opt.initFrom(&s);
    opt.subControls = QStyle::SC_All;
    opt.orientation = s.orientation();
    opt.maximum = s.maximum();
    opt.minimum = s.minimum();
    opt.sliderPosition = s.sliderPosition();
    opt.sliderValue = s.value();
    return s.style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &s);
}

void TestSmallWidgets::sliderMovesOnlyByItsHandle() {
    NoWheelSlider s(Qt::Horizontal);
    s.setRange(0, 100);
    s.setValue(10);
    s.resize(400, 30);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s));
    // A click on the groove far from the handle does not jump.
    QTest::mouseClick(&s, Qt::LeftButton, Qt::NoModifier, QPoint(380, 15));
    QCOMPARE(s.value(), 10);
    QVERIFY(!s.isDragging());
    // A drag that starts on the handle moves it.
    const QPoint start = handleRect(s).center();
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, start);
    QVERIFY(s.isDragging());
    QMouseEvent move(QEvent::MouseMove, start + QPoint(200, 0), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&s, &move);
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, start + QPoint(200, 0));
    QVERIFY(!s.isDragging());
    QVERIFY(s.value() > 40);
}

void TestSmallWidgets::sliderIgnoresWheel() {
    NoWheelSlider s(Qt::Horizontal);
    s.setRange(0, 100);
    s.setValue(50);
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&s, &wheel);
    QCOMPARE(s.value(), 50);
    QVERIFY(wheel.isAccepted()); // accepted: no parent scroll area reacts
}

void TestSmallWidgets::splitterReleaseEmitsOnce() {
    CustomSplitter sp(Qt::Horizontal);
    sp.addWidget(new QWidget);
    sp.addWidget(new QWidget);
    sp.resize(300, 100);
    sp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sp));
    QSignalSpy spy(&sp, &CustomSplitter::saveDataSIGNAL);
    QSplitterHandle* h = sp.handle(1);
    QVERIFY(qobject_cast<CustomSplitterHandle*>(h));
    QTest::mousePress(h, Qt::LeftButton, Qt::NoModifier, QPoint(1, 50));
    QTest::mouseRelease(h, Qt::LeftButton, Qt::NoModifier, QPoint(1, 50));
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestSmallWidgets)
#include "tst_small_widgets.moc"
