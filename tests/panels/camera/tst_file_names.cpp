#include "panels/camera/FileNames.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestFileNames : public QObject {
    Q_OBJECT
private slots:
    void takenNamesCount_data() {
        QTest::addColumn<int>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << 0 << "";
        QTest::newRow("base taken") << 1 << "_001";
        QTest::newRow("999 suffixes taken") << 1000 << "_1000";
    }
    void takenNamesCount() {
        QFETCH(int, existing);
        QFETCH(QString, expected);
        TestEnv env;
        const QString base = env.file("img_00042");
        auto suffix = [](int n) { return n ? QString("_%1").arg(n, 3, 10, QChar('0')) : QString(); };
        for (int n = 0; n < existing; ++n)
            QFile(base + suffix(n) + ".png").open(QIODevice::WriteOnly);
        QFile(base + expected + ".jpg").open(QIODevice::WriteOnly); // another extension does not count
        QCOMPARE(makeUniqueFileName(base, ".png"), base + expected);
        // Asked again before anything is written: the name is not handed out twice.
        QCOMPARE(makeUniqueFileName(base, ".png"), base + suffix(existing + 1));
    }
    void safeNames() {
        for (const char* good : {"run1", "AB-12_(x)", "a.b"})
            QVERIFY2(isSafeFileName(good), good);
        for (const char* bad : {"", "..", "../x", "a/b", "a\\b", "c:x", "a*", "a\nb", " a"})
            QVERIFY2(!isSafeFileName(bad), bad);
    }
};

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_file_names.moc"
