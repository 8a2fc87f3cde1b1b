#include "platform/AppPaths.h"
#include "platform/ProcessEnd.h"
#include "platform/SleepClock.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

class TestProcessEnd : public QObject {
    Q_OBJECT
private slots:
    void exitRequestedBeforeExecIsKept();
    void watchdogEndsAProcessWithAStuckWorker();
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

void TestProcessEnd::watchdogEndsAProcessWithAStuckWorker() {
    // This test program again, as a child whose main thread never returns to
    // its loop (as when it waits for a worker that hangs): it still ends,
    // with the requested code.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SEVRIN_STUCK_CHILD", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 7);
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("SEVRIN_STUCK_CHILD")) {
        ProcessEnd::requestExit(7, 300);
        ::sleep(5);
        return 99;
    }
    TestProcessEnd t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_process_end.moc"
