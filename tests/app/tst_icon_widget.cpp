#include "app/IconWidget.h"
#include "app/hub/MessagePassing.h"
#include "resources/SevrinResources.h"
#include "tests/support/TestEnv.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

static QString clockOf(IconWidget& strip) { return strip.findChild<QLabel*>("label")->text(); }

class TestIconWidget : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { sevrinInitResources(); }
    void videoIconRunsTheClock();
    void removeStopsClockThenDropsIcon();
    void emptyListIgnoresModifyAndRemove();
};

void TestIconWidget::videoIconRunsTheClock() {
    TestEnv env;
    QWidget parent;
    parent.resize(800, 600);
    IconWidget strip(&parent);
    strip.moveAndHide(QPoint(500, 0));
    parent.show();
    MessagePassing::instance()->addIconSIGNAL("btnCamera"); // the hub's signal reaches the slot
    QCOMPARE(strip.iconList().size(), 1);
    strip.addIconSLOT("btnVideo");
    QVERIFY(strip.isVisible());
    QCOMPARE(strip.iconList().last(), QString(":/res/IconWidget/btnVideo.png"));
    QCOMPARE(clockOf(strip), QString("00:00:00"));
    for (int i = 0; i < 3661; ++i)
        strip.oneSecUpdate();
    QCOMPARE(clockOf(strip), QString("01:01:01"));
    for (int i = 0; i < 360000 - 3661; ++i)
        strip.oneSecUpdate();
    QCOMPARE(clockOf(strip), QString("100:00:00"));
}

void TestIconWidget::removeStopsClockThenDropsIcon() {
    QWidget parent;
    IconWidget strip(&parent);
    parent.show();
    strip.addIconSLOT("btnCamera");
    strip.addIconSLOT("btnVideo");
    strip.removeIconSLOT();
    const QString clock = clockOf(strip);
    QCOMPARE(strip.iconList().size(), 2); // removed 300 ms later
    QTRY_COMPARE(strip.iconList().size(), 1);
    QCOMPARE(strip.iconList().last(), QString(":/res/IconWidget/btnCamera.png"));
    // The clock stopped at once: no running timer is left to move it on.
    for (const QTimer* t : strip.findChildren<QTimer*>())
        QVERIFY(!t->isActive());
    QCOMPARE(clockOf(strip), clock);
    strip.removeIconSLOT();
    QTRY_COMPARE(strip.iconList().size(), 0);
    QVERIFY(!strip.isVisible());
}

void TestIconWidget::emptyListIgnoresModifyAndRemove() {
    IconWidget strip;
    strip.modifyIconSLOT("btnAE");
    strip.removeIconSLOT();
    strip.removeIconDelay();
    QVERIFY(strip.iconList().isEmpty());
    strip.addIconSLOT("btnAWB");
    strip.modifyIconSLOT("btnAE");
    QCOMPARE(strip.iconList(), QList<QString>{":/res/IconWidget/btnAE.png"});
}

QTEST_MAIN(TestIconWidget)
#include "tst_icon_widget.moc"
