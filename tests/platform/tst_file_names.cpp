#include "platform/FileNames.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestFileNames : public QObject {
    Q_OBJECT
private slots:
    void takenNamesCount_data() {
        QTest::addColumn<int>("existing");
        QTest::addColumn<bool>("links"); // the names taken are dangling links, not files
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << 0 << false << "";
        QTest::newRow("base taken") << 1 << false << "_001";
        QTest::newRow("999 suffixes taken") << 1000 << false << "_1000";
        QTest::newRow("base taken by a dangling link") << 1 << true << "_001";
    }
    void takenNamesCount() {
        QFETCH(int, existing);
        QFETCH(bool, links);
        QFETCH(QString, expected);
        TestEnv env;
        const QString base = env.file("img_00042");
        auto suffix = [](int n) { return n ? QString("_%1").arg(n, 3, 10, QChar('0')) : QString(); };
        for (int n = 0; n < existing; ++n) {
            if (links)
                QVERIFY(QFile::link(env.file("gone/made.png"), base + suffix(n) + ".png"));
            else
                QFile(base + suffix(n) + ".png").open(QIODevice::WriteOnly);
        }
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
