#include "panels/camera/FileNames.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestFileNames : public QObject {
    Q_OBJECT
private slots:
    void freeNameIsKept();
    void takenNamesCount_data();
    void takenNamesCount();
    void requestsBeforeWritingGetTwoNames();
    void safeNames_data();
    void safeNames();
};

static void touch(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void TestFileNames::freeNameIsKept() {
    TestEnv env;
    QCOMPARE(joinPath(env.path(), "/a"), env.path() + "/a");
    QCOMPARE(makeUniqueFileName(env.file("free"), ".jpg"), env.file("free"));
}

void TestFileNames::takenNamesCount_data() {
    QTest::addColumn<int>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("base taken") << 1 << "_001";
    QTest::newRow("base and _001 taken") << 2 << "_002";
    QTest::newRow("999 suffixes taken") << 1000 << "_1000";
}

void TestFileNames::takenNamesCount() {
    QFETCH(int, existing);
    QFETCH(QString, expected);
    TestEnv env;
    const QString base = env.file("img_00042");
    touch(base + ".png");
    for (int n = 1; n < existing; ++n)
        touch(base + QString("_%1.png").arg(n, 3, 10, QChar('0')));
    // Another extension does not count.
    touch(base + expected + ".jpg");
    QCOMPARE(makeUniqueFileName(base, ".png"), base + expected);
}

void TestFileNames::requestsBeforeWritingGetTwoNames() {
    TestEnv env;
    const QString base = env.file("20260101_120000_123");
    const QString first = makeUniqueFileName(base, ".jpg");
    const QString second = makeUniqueFileName(base, ".jpg");
    QCOMPARE(first, base);
    QCOMPARE(second, base + "_001");
}

void TestFileNames::safeNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "run1" << true;
    QTest::newRow("scanner punctuation") << "AB-12_(x)" << true;
    QTest::newRow("inner dots") << "a.b" << true;
    QTest::newRow("chinese") << QString::fromUtf8("录像1") << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("parent escape") << "../x" << false;
    QTest::newRow("sub folder") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("colon") << "c:x" << false;
    QTest::newRow("star") << "a*" << false;
    QTest::newRow("newline") << "a\nb" << false;
    QTest::newRow("blank edge") << " a" << false;
}

void TestFileNames::safeNames() {
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(isSafeFileName(name), safe);
}

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_file_names.moc"
