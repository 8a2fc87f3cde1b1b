// Large pictures converted and scaled when the system has no room left for
// another thread: the pool's threads, made at start and kept, do the parts,
// and the conversion ends (Qt would otherwise wait for ever for a part whose
// thread was refused). Each row runs in a child process of its own under an
// address-space limit that leaves room for the result and not for a stack.
#include "platform/ImageThreads.h"

#include "tests/support/TestTools.h"

#include <QGuiApplication>
#include <QImage>
#include <QThreadPool>
#include <QtTest>

#include <cstdio>

class TstImageThreads : public QObject {
    Q_OBJECT
private slots:
    void aLargePictureIsDoneWithoutNewThreads_data() {
        QTest::addColumn<bool>("scale"); // smooth scaling; otherwise a conversion
        // The pool's idle threads end after this many milliseconds before
        // keep() (-1: the pool as Qt makes it, 30 s). Kept threads stay
        // whatever the pool did before: the pool ends no idle thread after
        // keep(). (An ended thread's stack is often reused by a new one, so
        // the picture alone may not tell.)
        QTest::addColumn<int>("expiryBefore");
        QTest::newRow("converted to 24 bits") << false << -1;
        QTest::newRow("scaled smoothly") << true << -1;
        QTest::newRow("converted, by a pool that ended idle threads at once") << false << 0;
    }
    void aLargePictureIsDoneWithoutNewThreads() {
        QFETCH(bool, scale);
        QFETCH(int, expiryBefore);
        if (const char* why = addressLimitUntestable())
            QSKIP(why);
        if (!qEnvironmentVariableIsSet("IMAGE_THREADS_LIMITED")) {
            const QString failed = runRowInChild("IMAGE_THREADS_LIMITED", "done");
            QVERIFY2(failed.isEmpty(), qPrintable(failed));
            return;
        }
        if (expiryBefore >= 0)
            QThreadPool::globalInstance()->setExpiryTimeout(expiryBefore);
        QVERIFY(ImageThreads::keep() > 0);
        QVERIFY2(QThreadPool::globalInstance()->expiryTimeout() < 0, "idle threads still end");
        // 32 bits a pixel: scaled without a conversion first, and converted
        // to 24 by Qt's general converter, which works in parts.
        QImage picture(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            uchar* line = picture.scanLine(y);
            for (int x = 0; x < picture.bytesPerLine(); ++x)
                line[x] = uchar((x * 7 + y * 13) & 0xff);
        }
        // Room for the result and less than any thread's stack beside it.
        const unsigned long long result = scale ? 3000ull * 2250 * 4 : 4000ull * 3000 * 3;
        QVERIFY(limitAddressSpace(result + (200ull << 10)));
        const QImage done = scale ? picture.scaled(3000, 2250, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  : picture.convertToFormat(QImage::Format_RGB888);
        QVERIFY(!done.isNull());
        // A pixel of the last part: what the slowest part wrote is there.
        const QPoint last(scale ? 2999 : 3999, scale ? 2249 : 2999);
        const QRgb p = done.pixel(last);
        if (!scale)
            QCOMPARE(p, picture.pixel(last));
        std::fprintf(stderr, "done\n");
    }
};

QTEST_GUILESS_MAIN(TstImageThreads)
#include "tst_image_threads.moc"
