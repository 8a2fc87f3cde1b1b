#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The whole program, headless: it starts, keeps running its loop, and a
// terminate request takes the close button's road to exit code 0.
class TestShutdownRoad : public QObject {
    Q_OBJECT
private slots:
    void runsThenEndsWithCodeZero();
};

void TestShutdownRoad::runsThenEndsWithCodeZero() {
    QTemporaryDir dir;
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SEVRIN_APP_DIR", dir.path());
    env.insert("SEVRIN_SIM_USB", "");
    env.insert("SEVRIN_SIM_NET", "");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QString::fromUtf8(qgetenv("SEVRIN_BUILD_DIR")) + "/Sevrin", QStringList());
    QVERIFY(p.waitForStarted(5000));
    // Up (its folders made) and still running: the loop keeps going by itself.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(dir.path() + "/Export/Video").exists(), 30000);
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestShutdownRoad)
#include "tst_shutdown_road.moc"
