#include "platform/AppPaths.h"
#include "platform/ProcessEnd.h"
#include "platform/SleepClock.h"

#include <QCoreApplication>
#include <QTimer>
#include <QtTest>

class TestProcessEnd : public QObject {
    Q_OBJECT
private slots:
    void exitRequestedBeforeExecIsKept();
    void fakeTimeRecordsSleeps();
    void appDirFollowsEnvironment();
};

void TestProcessEnd::exitRequestedBeforeExecIsKept() {
    ProcessEnd::reset();
    // Asked before the event loop runs: a plain quit() would be lost here.
    ProcessEnd::requestExit(3, 0);
    QVERIFY(ProcessEnd::exitRequested());
    QTimer guard;
    guard.setSingleShot(true);
    bool timedOut = false;
    connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(99);
    });
    guard.start(5000);
    const int code = QCoreApplication::exec();
    QVERIFY(!timedOut);
    QCOMPARE(code, 3);
    QCOMPARE(ProcessEnd::exitCode(), 3);
    ProcessEnd::reset();
}

void TestProcessEnd::fakeTimeRecordsSleeps() {
    SleepClock::FakeTime fake;
    const uint64_t t0 = SleepClock::ticksMs();
    SleepClock::sleepMs(1000);
    SleepClock::sleepMs(1);
    QCOMPARE(SleepClock::ticksMs() - t0, uint64_t(1001));
    QCOMPARE(fake.sleepCount(), 2);
}

void TestProcessEnd::appDirFollowsEnvironment() {
    qputenv("SEVRIN_APP_DIR", "/tmp/sevrin-x/");
    QCOMPARE(AppPaths::appDir(), QString("/tmp/sevrin-x"));
    QCOMPARE(AppPaths::appFile("/INI/MeasureSet.ini"), QString("/tmp/sevrin-x/INI/MeasureSet.ini"));
    qunsetenv("SEVRIN_APP_DIR");
    QCOMPARE(AppPaths::appDir(), QCoreApplication::applicationDirPath());
}

QTEST_GUILESS_MAIN(TestProcessEnd)
#include "tst_process_end.moc"
