// Snapshot save threads (USB and network) and the recent-image list they
// feed, without a camera: frames are handed over as the drivers do.

#include "camera/ThreaSaveImg.h"
#include "camera/ThreaSaveImgNet.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/SnapshotFiles.h"
#include "camera/ThreadAVPacket.h"
#include "platform/SnapshotRecords.h"
#include "tests/support/HeldChild.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include "FrameSynth.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <ctime>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// Sets the time path was last changed to seconds ago.
bool touchedAgo(const QString& path, int seconds) {
    const timespec then[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), then, 0) == 0;
}
} // namespace

namespace {

// The overlay's side of the still-image road, connected by signature text
// and queued as in the program: it must receive the QImage* of saveItemSIGNAL.
class ItemReceiver : public QObject {
    Q_OBJECT
public:
    struct Item {
        QImage image;
        int mode;
        QString target;
        bool onGuiThread;
    };
    QList<Item> items;
public slots:
    void saveItemSLOT(QImage* image, int mode, QString target) {
        items.append({*image, mode, target, QThread::currentThread() == qApp->thread()});
        delete image;
    }
};

QImage filled(int w, int h, QColor c) {
    QImage img(w, h, QImage::Format_RGB888);
    img.fill(c);
    return img;
}

// identify's view of a picture: quality, resolution and size.
QString identify(const QString& path) {
    QProcess p;
    p.start("identify", {"-format", "%m %Q %x %y %U %w %h", path});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The job's image becomes a copy of image, as a decoder would fill it.
void setImage(ThreaSaveImg& saver, const QImage& image) {
    const bool alpha = image.hasAlphaChannel();
    const QImage src = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    *saver.imageBuffer(src.width(), src.height(), alpha ? 4 : 3) = src.copy();
}

// Runs one saver job on an image and waits for its thread.
void runJob(ThreaSaveImg& saver, const QImage& image, const QString& path, int mode, bool direct,
            const QString& cls = "UVCCamera", int sizeIndex = 5) {
    saver.setParams(path, mode, direct, false, Qt::white, 3, sizeIndex, cls);
    QVERIFY(!saver.isIdle());
    setImage(saver, image);
    saver.start();
    QVERIFY(saver.wait(60000));
    QVERIFY(saver.isIdle());
}

QStringList leftovers(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class tst_ThreaSaveImg : public QObject {
    Q_OBJECT
    MessagePassing* hub = nullptr;
    std::unique_ptr<TestEnv> env;

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        hub = MessagePassing::instance();
        hub->imgType = "jpg";
        hub->initImageHistory();
    }
    void cleanup() {
        errorBoxText(); // closes a box a case left open
        QCoreApplication::processEvents();
        env.reset();
    }

    void directSnapshotIsSavedListedAndThumbnailed() {
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        QSignalSpy icon(hub, SIGNAL(removeIconCameraSIGNAL()));
        QThread* listThread = nullptr;
        QObject context;
        connect(hub, &MessagePassing::addImageHistorySIGNAL, &context, [&] { listThread = QThread::currentThread(); });
        QDir().mkpath("Export/Image");
        const QString base = env->file("Export/Image/snap1");
        ThreaSaveImg saver;
        runJob(saver, FrameSynth::colourBars(1920, 1080), base, 0, true);
        QVERIFY(added.wait(10000));
        QCOMPARE(listThread, qApp->thread()); // the list is touched on the GUI thread only
        QCOMPARE(added.at(0).at(0).toInt(), 0);
        QCOMPARE(added.at(0).at(1).toString(), base + ".jpg");
        QCOMPARE(icon.count(), 1);
        QVERIFY(hub->getHistoryList().contains(base + ".jpg"));
        QCOMPARE(QSettings("./ImageHistory.ini", QSettings::IniFormat).value("0").toString(), base + ".jpg");

        // JPEG at quality 100 and 12401 dots per metre (315 per inch in JFIF).
        QCOMPARE(identify(base + ".jpg"), QString("JPEG 100 315 315 PixelsPerInch 1920 1080"));
        // Thumbnail: 296 high, 1920 x 296 / 1080 = 526 wide, quality 90.
        const QString thumb = identify("./.scaleImage/0.jpg");
        QVERIFY2(thumb.startsWith("JPEG 90 ") && thumb.endsWith(" 526 296"), qPrintable(thumb));
        QCOMPARE(QImage("./.scaleImage/0.jpg").size(), QSize(526, 296));
        QCOMPARE(leftovers(env->file("Export/Image")), QStringList{"snap1.jpg"});
        QCOMPARE(leftovers("./.scaleImage"), QStringList{"0.jpg"});
        QVERIFY(errorBoxText().isEmpty());

        // The picture is the frame: bars intact.
        const QImage saved(base + ".jpg");
        const auto& bars = FrameSynth::barColours();
        for (int i = 0; i < bars.size(); ++i) {
            const QColor c = saved.pixelColor((2 * i + 1) * 1920 / 16, 540);
            QVERIFY2(qAbs(c.red() - bars[i].red()) < 6 && qAbs(c.blue() - bars[i].blue()) < 6,
                     qPrintable(QString("bar %1").arg(i)));
        }

        // PNG type: 12401 dots per metre stored as such.
        hub->imgType = "png";
        runJob(saver, filled(300, 200, Qt::green), env->file("Export/Image/snap2"), 1, true);
        QVERIFY(added.wait(10000));
        QImage png(env->file("Export/Image/snap2.png"));
        QCOMPARE(png.dotsPerMeterX(), 12401);
        QCOMPARE(png.dotsPerMeterY(), 12401);
        QCOMPARE(added.last().at(0).toInt(), 1);
        QCOMPARE(QImage("./.scaleImage/1.jpg").size(), QSize(300 * 296 / 200, 296));
    }

    void snapshotWithoutSaveDirectGoesToTheSaveStep() {
        QSignalSpy dialog(hub, SIGNAL(saveImageByFileDialogSIGNAL(QImage, QString, bool, bool)));
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        ThreaSaveImg saver;
        runJob(saver, filled(640, 480, Qt::red), env->file("pick"), 0, false);
        QVERIFY(dialog.count() == 1 || dialog.wait(10000));
        const QImage image = dialog.at(0).at(0).value<QImage>();
        QCOMPARE(image.size(), QSize(640, 480));
        QCOMPARE(image.dotsPerMeterX(), 12401);
        QCOMPARE(dialog.at(0).at(1).toString(), env->file("pick") + ".jpg");
        QCOMPARE(dialog.at(0).at(2).toBool(), false);
        QCOMPARE(dialog.at(0).at(3).toBool(), true);
        QVERIFY(!QFile::exists(env->file("pick.jpg")));
        QCoreApplication::processEvents();
        QCOMPARE(added.count(), 0);
    }

    void failedSaveIsReportedAndNotListed() {
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        QSignalSpy icon(hub, SIGNAL(removeIconCameraSIGNAL()));
        const int before = hub->getImageHistoryTotalCnt();
        ThreaSaveImg saver;
        const QString base = env->file("no/such/folder/snap");
        runJob(saver, filled(320, 240, Qt::blue), base, 0, true);
        QTRY_VERIFY(!errorBoxText(false).isEmpty());
        QVERIFY(errorBoxText().contains(base + ".jpg"));
        QTRY_COMPARE(icon.count(), 1); // the snapshot is over either way
        QCOMPARE(added.count(), 0);
        QCOMPARE(hub->getImageHistoryTotalCnt(), before);
        QVERIFY(!QDir("./.scaleImage").exists() || leftovers("./.scaleImage").isEmpty());

        // English text of the box.
        QVERIFY(SnapshotFiles::saveErrorText(1, "a.jpg", "why").startsWith("The picture could not be saved"));
    }

    // A screenshot or save of the tool palette that ends unsaved still ends
    // the busy state, so the palette's buttons come back, and says why.
    void unsavedScreenshotEndsTheBusyState_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refusedPicture"); // the system refused the picture's memory
        QTest::newRow("screenshot, unwritable") << 8 << false;
        QTest::newRow("save, unwritable") << 9 << false;
        QTest::newRow("save, its picture refused") << 9 << true;
    }
    void unsavedScreenshotEndsTheBusyState() {
        QFETCH(int, mode);
        QFETCH(bool, refusedPicture);
        QSignalSpy icon(hub, SIGNAL(removeIconCameraSIGNAL()));
        ThreaSaveImg saver;
        runJob(saver, refusedPicture ? QImage() : filled(64, 48, Qt::blue), env->file("no/such/folder/shot"), mode,
               true);
        QTRY_COMPARE(icon.count(), 1);
        QTRY_VERIFY(!errorBoxText(false).isEmpty());
        const QString text = errorBoxText();
        QVERIFY(text.contains("shot"));
        QCOMPARE(text.contains(SnapshotFiles::noMemoryReason()), refusedPicture);
    }

    // A job the system refused memory or a thread before its picture came
    // tells whoever waits for the picture, and frees the saver.
    void aRefusedJobTellsWhoWaits_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("stitchStops");  // empty stitching frames (the run stops)
        QTest::addColumn<int>("stackStops");   // null frames to the stacking worker
        QTest::addColumn<bool>("box");         // the not-saved box, with the memory reason
        QTest::addColumn<int>("iconsCleared"); // busy states ended
        QTest::addColumn<bool>("noThreads");   // the user's threads at their limit: the box names it
        QTest::newRow("snapshot") << 0 << 0 << 0 << true << 1 << false;
        QTest::newRow("snapshot to the dialog") << 1 << 0 << 0 << true << 1 << false;
        QTest::newRow("series") << 10 << 0 << 0 << true << 0 << false;
        QTest::newRow("stitching frame") << 3 << 1 << 0 << false << 0 << false;
        QTest::newRow("focus stacking frame") << 7 << 0 << 1 << false << 0 << false;
        QTest::newRow("flat-field reference") << 4 << 0 << 0 << false << 0 << false;
        QTest::newRow("snapshot, threads at their limit") << 0 << 0 << 0 << true << 1 << true;
    }
    void aRefusedJobTellsWhoWaits() {
        QFETCH(int, mode);
        QFETCH(int, stitchStops);
        QFETCH(int, stackStops);
        QFETCH(bool, box);
        QFETCH(int, iconsCleared);
        QFETCH(bool, noThreads);
        QSignalSpy stitch(hub, SIGNAL(pinJieImageSIGNAL(QImage)));
        QSignalSpy icon(hub, SIGNAL(removeIconCameraSIGNAL()));
        int nullFrames = 0, frames = 0;
        ThreaSaveImg saver;
        saver.setParams(env->file("refused"), mode, true, false, Qt::white, 3, 5, "UVCCamera");
        saver.setFocusStackConsumer([&](const uint8_t* rgb, int, int) { ++(rgb ? frames : nullFrames); });
        QVERIFY(!saver.isIdle());
        const QString noMemory = SnapshotFiles::noMemoryReason();
        std::unique_ptr<ProcessAtLimit> limit; // as for a user under ulimit -u 14
        QVERIFY(!noThreads || (limit = std::make_unique<ProcessAtLimit>(ProcessAtLimit::Threads))->ok());
        saver.refused();
        limit.reset();
        QVERIFY(saver.isIdle());
        QCOMPARE(stitch.count(), stitchStops);
        if (stitchStops)
            QVERIFY(stitch.at(0).at(0).value<QImage>().isNull());
        QCOMPARE(nullFrames, stackStops);
        QCOMPARE(frames, 0);
        if (box) {
            QTRY_VERIFY(!errorBoxText(false).isEmpty());
            const QString text = errorBoxText();
            const char* const threads[3] = {"线程数已达上限", "The limit of threads is reached",
                                            "執行緒數已達上限"};
            const QString reason = noThreads ? QString::fromUtf8(threads[hub->language()]) : noMemory;
            QVERIFY2(text.contains(reason) && text.contains("refused"), qPrintable(text));
        } else {
            QCoreApplication::processEvents();
            QVERIFY(errorBoxText().isEmpty());
        }
        QTRY_COMPARE(icon.count(), iconsCleared);
    }

    void backToBackDirectSnapshotsBothArrive() {
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        ThreaSaveImg a, b;
        a.setParams(env->file("first"), 0, true, false, Qt::white, 0, 0, "UVCCamera");
        b.setParams(env->file("second"), 0, true, false, Qt::white, 0, 0, "UVCCamera");
        setImage(a, filled(640, 480, Qt::red));
        setImage(b, filled(640, 480, Qt::blue));
        a.start();
        b.start();
        QVERIFY(a.wait(60000) && b.wait(60000));
        QTRY_COMPARE(added.count(), 2);
        QSet<int> indexes;
        for (const auto& call : added) {
            const int index = call.at(0).toInt();
            const QString path = call.at(1).toString();
            indexes << index;
            const bool red = path.endsWith("first.jpg");
            const QColor picture = QImage(path).pixelColor(20, 20);
            const QColor thumb = QImage(SnapshotFiles::thumbnailPath(index)).pixelColor(20, 20);
            for (const QColor& c : {picture, thumb}) {
                QVERIFY(qAbs((red ? c.red() : c.blue()) - 255) < 6);
                QVERIFY((red ? c.blue() : c.red()) < 6);
            }
        }
        QCOMPARE(indexes, (QSet<int>{0, 1}));
    }

    void seriesSnapshotIsListedWithoutIcon() {
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        QSignalSpy icon(hub, SIGNAL(removeIconCameraSIGNAL()));
        ThreaSaveImg saver;
        for (int i = 0; i < 3; ++i) {
            runJob(saver, filled(400, 300, QColor(i * 80, 0, 0)), env->file(QString("series%1").arg(i)), 10, false);
            QVERIFY(added.count() > i || added.wait(10000));
        }
        QCOMPARE(added.count(), 3);
        QCOMPARE(added.at(2).at(0).toInt(), 2);
        QVERIFY(QFile::exists("./.scaleImage/2.jpg"));
        QCoreApplication::processEvents();
        QCOMPARE(icon.count(), 0);
    }

    void stillImageRoadGetsEachRequestItsOwnPicture() {
        ItemReceiver overlay;
        QVERIFY(connect(hub, SIGNAL(saveItemSIGNAL(QImage*, int, QString)), &overlay,
                        SLOT(saveItemSLOT(QImage*, int, QString)), Qt::QueuedConnection));
        // Two snapshots back to back on two pooled savers.
        ThreaSaveImg a, b;
        a.setParams(env->file("export_a"), 2, false, false, Qt::white, 0, 5, "UVCCamera");
        b.setParams(env->file("shot_b"), 8, false, false, Qt::white, 0, 5, "UVCCamera");
        setImage(a, filled(3840, 2160, Qt::red));
        setImage(b, filled(800, 600, Qt::blue));
        a.start();
        b.start();
        QVERIFY(a.wait(60000) && b.wait(60000));
        QTRY_COMPARE(overlay.items.size(), 2);
        for (const auto& item : overlay.items) {
            QVERIFY(item.onGuiThread);
            if (item.mode == 2) {
                QCOMPARE(item.target, env->file("export_a") + ".jpg");
                QCOMPARE(item.image.size(), QSize(1920, 1080));
                QVERIFY(qAbs(item.image.pixelColor(10, 10).red() - 255) < 4);
                QVERIFY(item.image.pixelColor(10, 10).blue() < 4);
            } else {
                QCOMPARE(item.mode, 8);
                QCOMPARE(item.target, env->file("shot_b") + ".jpg");
                QCOMPARE(item.image.size(), QSize(800, 600));
                QVERIFY(qAbs(item.image.pixelColor(10, 10).blue() - 255) < 4);
                QVERIFY(item.image.pixelColor(10, 10).red() < 4);
            }
            QCOMPARE(item.image.dotsPerMeterX(), 12401);
        }
        // The temporary files of the road are gone.
        QVERIFY(!QFile::exists(env->file("export_a.jpg")));
        QVERIFY(!QFile::exists(env->file("shot_b.jpg")));
        disconnect(hub, SIGNAL(saveItemSIGNAL(QImage*, int, QString)), &overlay, nullptr);
    }

    void stitchingFramesAreFlatFieldCorrected() {
        QSignalSpy stitch(hub, SIGNAL(pinJieImageSIGNAL(QImage)));
        const bool hadTable = hub->hasYinYing;
        const cv::Mat oldTable = hub->yinYingMat;
        cv::Mat table(2, 3, CV_32FC1);
        const float gains[6] = {0.0f, 0.5f, 0.25f, 1.0f, 0.5f, 1.2f};
        std::memcpy(table.data, gains, sizeof gains);
        hub->yinYingMat = table;
        hub->hasYinYing = true;

        QImage frame(3, 2, QImage::Format_RGB888);
        const int values[6] = {100, 100, 101, 200, 60, 55};
        for (int i = 0; i < 6; ++i)
            frame.setPixelColor(i % 3, i / 3, QColor(values[i], values[i], values[i]));
        ThreaSaveImg saver;
        runJob(saver, frame, env->file("stitch"), 3, false);
        QTRY_COMPARE(stitch.count(), 1);
        const QImage out = stitch.at(0).at(0).value<QImage>();
        // v + v x G / 100 in integers, limited to 255 (55 at G = 120 is 121).
        const int expected[6] = {100, 150, 126, 255, 90, 121};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(out.pixelColor(i % 3, i / 3).green(), expected[i]);

        // A frame of another size passes uncorrected; a 3840-wide or
        // 2160-high one is ignored.
        runJob(saver, filled(4, 2, QColor(100, 100, 100)), env->file("stitch"), 3, false);
        QTRY_COMPARE(stitch.count(), 2);
        QCOMPARE(stitch.at(1).at(0).value<QImage>().pixelColor(1, 1).red(), 100);
        runJob(saver, filled(3840, 1080, Qt::gray), env->file("stitch"), 3, false);
        runJob(saver, filled(1920, 2160, Qt::gray), env->file("stitch"), 3, false);
        QCoreApplication::processEvents();
        QCOMPARE(stitch.count(), 2);

        hub->yinYingMat = oldTable;
        hub->hasYinYing = hadTable;
    }

    void flatFieldReferenceAndFocusStackingModes() {
        QSignalSpy reference(hub, SIGNAL(pinJieYinYingImageSIGNAL(QImage)));
        QSignalSpy stack(hub, SIGNAL(jingShenImageSIGNAL(QImage)));
        ThreaSaveImg saver;
        // Mode 4 on a fast-mode camera scales to 1920 x 1080.
        saver.setParams(env->file("ref"), 4, false, false, Qt::white, 0, 0, "UVCCamera_Corvo", true);
        setImage(saver, filled(3840, 2160, Qt::gray));
        saver.start();
        QVERIFY(saver.wait(60000));
        QTRY_COMPARE(reference.count(), 1);
        QCOMPARE(reference.at(0).at(0).value<QImage>().size(), QSize(1920, 1080));
        runJob(saver, filled(3840, 2160, Qt::gray), env->file("ref"), 4, false);
        QTRY_COMPARE(reference.count(), 2);
        QCOMPARE(reference.at(1).at(0).value<QImage>().size(), QSize(3840, 2160));

        runJob(saver, filled(64, 32, Qt::cyan), env->file("stack"), 6, false);
        QTRY_COMPARE(stack.count(), 1);
        QCOMPARE(stack.at(0).at(0).value<QImage>().format(), QImage::Format_RGB888);

        // Mode 7: contiguous RGB rows for the stacking worker, even for an
        // odd width whose QImage rows are padded.
        QImage odd = FrameSynth::colourBars(101, 7);
        std::vector<uint8_t> got;
        int gw = 0, gh = 0;
        saver.setParams(env->file("frame"), 7, false, false, Qt::white, 0, 0, "UVCCamera");
        saver.setFocusStackConsumer([&](const uint8_t* rgb, int w, int h) {
            got.assign(rgb, rgb + size_t(w) * h * 3);
            gw = w;
            gh = h;
        });
        setImage(saver, odd);
        saver.start();
        QVERIFY(saver.wait(60000));
        QCOMPARE(gw, 101);
        QCOMPARE(gh, 7);
        for (int y = 0; y < 7; ++y)
            QVERIFY(std::memcmp(got.data() + size_t(y) * 303, odd.constScanLine(y), 303) == 0);

        // Mode 5 does nothing at all.
        runJob(saver, filled(10, 10, Qt::red), env->file("five"), 5, true);
        QCoreApplication::processEvents();
        QVERIFY(leftovers(env->path()).filter("five").isEmpty());
    }

    void timeStampCornersAndRescaleTable() {
        // Where the stamp lands, by position (3 and above: bottom right).
        for (int position : {0, 1, 2, 3, 7}) {
            QImage img = filled(1000, 300, Qt::black);
            ThreaSaveImg::drawTimeStamp(img, "2024/01/02 03:04:05", Qt::white, position);
            QRect inked;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (img.pixelColor(x, y).red() > 128)
                        inked |= QRect(x, y, 1, 1);
            QVERIFY2(!inked.isEmpty(), qPrintable(QString::number(position)));
            const bool left = position == 0 || position == 1;
            const bool top = position == 0 || position == 2;
            QVERIFY(left ? inked.left() >= 10 && inked.right() < 500 : inked.right() <= 990 && inked.left() > 500);
            QVERIFY(top ? inked.top() >= 10 && inked.bottom() < 150 : inked.bottom() <= 290 && inked.top() > 150);
        }

        using S = QSize;
        QCOMPARE(ThreaSaveImg::rescaledSize(S(3840, 2160), 0, "UVCCamera_Corvo"), S(1920, 1080));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(1920, 1200), 0, "UVCCamera_Tirsa"), S(1920, 1200));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(1920, 1080), 1, "UVCCamera_Pellam"), S(3840, 2160));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(3840, 2000), 1, "UVCCamera_Quillet"), S(3840, 2000));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(7680, 4320), 2, "UVCCamera_Ambrel"), S(7680, 4320));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(1920, 1080), 2, "UVCCamera_Ambrel"), S(7680, 4320));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(1920, 1080), 3, "UVCCamera_Corvo"), S(1920, 1080));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(3840, 2160), 0, "UVCCamera_Sorrin"), S(3840, 2160));
        QCOMPARE(ThreaSaveImg::rescaledSize(S(3840, 2160), 0, "UVCCamera"), S(3840, 2160));

        // End to end: a stamped 4K Corvo snapshot saved at size index 0.
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        ThreaSaveImg saver;
        saver.setParams(env->file("corvo"), 0, true, true, Qt::red, 0, 0, "UVCCamera_Corvo");
        setImage(saver, filled(3840, 2160, Qt::black));
        saver.start();
        QVERIFY(saver.wait(60000));
        QVERIFY(added.wait(10000));
        const QImage saved(env->file("corvo.jpg"));
        QCOMPARE(saved.size(), QSize(1920, 1080));
        // Stamp drawn before scaling: red ink in the top-left corner only.
        auto redIn = [&](QRect r) {
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (saved.pixelColor(x, y).red() > 120)
                        return true;
            return false;
        };
        QVERIFY(redIn(QRect(0, 0, 300, 30)));
        QVERIFY(!redIn(QRect(1600, 1040, 320, 40)));
    }

    void networkSnapshotsByMode() {
        QSignalSpy dialog(hub, SIGNAL(saveImageByFileDialogSIGNAL(QImage, QString, bool, bool)));
        QSignalSpy icon(hub, SIGNAL(removeIconCameraSIGNAL()));
        // The SDK writes the picture at the path it was given (no suffix).
        auto sdkWrites = [&](const QString& name, const char* format) {
            QVERIFY(filled(320, 200, Qt::magenta).save(env->file(name), format));
        };
        sdkWrites("net0", "png");
        ThreaSaveImgNet::launch(env->file("net0"), 0, false);
        QTRY_COMPARE(dialog.count(), 1);
        QCOMPARE(dialog.at(0).at(1).toString(), env->file("net0") + ".jpg");
        QCOMPARE(dialog.at(0).at(2).toBool(), false);
        QCOMPARE(dialog.at(0).at(3).toBool(), true);
        QCOMPARE(dialog.at(0).at(0).value<QImage>().dotsPerMeterX(), 12401);
        QTRY_COMPARE(icon.count(), 1);
        QVERIFY(!QFile::exists(env->file("net0")));

        sdkWrites("net10", "jpg");
        ThreaSaveImgNet::launch(env->file("net10"), 10, false);
        // A series saves directly, as a new picture, and keeps the busy icon.
        QTRY_COMPARE(QImage(env->file("net10.jpg")).size(), QSize(320, 200));
        QTRY_VERIFY(hub->getHistoryList().contains(env->file("net10.jpg")));
        QCOMPARE(dialog.count(), 1);
        QCOMPARE(icon.count(), 1);

        // Stitching frames are loaded and dropped; files that are no picture stay.
        sdkWrites("net3", "bmp");
        QFile junk(env->file("netbad"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
        junk.close();
        QPointer<ThreaSaveImgNet> three = ThreaSaveImgNet::launch(env->file("net3"), 3, true);
        QPointer<ThreaSaveImgNet> bad = ThreaSaveImgNet::launch(env->file("netbad"), 0, true);
        QTRY_VERIFY(three.isNull() && bad.isNull()); // each deletes itself
        QVERIFY(!QFile::exists(env->file("net3")));
        QVERIFY(QFile::exists(env->file("netbad")));
        QCOMPARE(dialog.count(), 1);
    }

    void recentListKeepsTheNewestFiftyRenumbered() {
        QDir().mkpath("./.scaleImage");
        {
            QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
            ini.clear();
            for (int i = 0; i < 70; ++i) {
                const QString pic = env->file(QString("p%1.jpg").arg(i));
                QFile f(pic);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.close();
                QFile t(SnapshotFiles::thumbnailPath(i));
                QVERIFY(t.open(QIODevice::WriteOnly));
                t.write(QByteArray::number(i));
                t.close();
                ini.setValue(QString::number(i), pic);
            }
            ini.setValue("TotalCnt", 70);
        }
        hub->initImageHistory();
        QCOMPARE(hub->getImageHistoryTotalCnt(), 50);
        QCOMPARE(hub->getHistoryList().size(), 50);
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(hub->getImageHistoryPath(i), env->file(QString("p%1.jpg").arg(i + 20)));
            QFile t(SnapshotFiles::thumbnailPath(i));
            QVERIFY(t.open(QIODevice::ReadOnly));
            QCOMPARE(t.readAll(), QByteArray::number(i + 20));
        }
        QVERIFY(!QFile::exists(SnapshotFiles::thumbnailPath(50)));

        // A deleted picture drops out; later ones move down with their thumbnails.
        QFile::remove(env->file("p23.jpg"));
        hub->initImageHistory();
        QCOMPARE(hub->getImageHistoryTotalCnt(), 49);
        QCOMPARE(hub->getImageHistoryPath(3), env->file("p24.jpg"));
        QFile t(SnapshotFiles::thumbnailPath(3));
        QVERIFY(t.open(QIODevice::ReadOnly));
        QCOMPARE(t.readAll(), QByteArray("24"));

        // A damaged, huge count does not make the load walk every number.
        {
            QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
            ini.setValue("TotalCnt", 2000000000);
        }
        hub->initImageHistory();
        QCOMPARE(hub->getImageHistoryTotalCnt(), 49);

        // A new direct snapshot continues the numbering.
        QSignalSpy added(hub, SIGNAL(addImageHistorySIGNAL(int, QString)));
        ThreaSaveImg saver;
        runJob(saver, filled(100, 100, Qt::red), env->file("new"), 0, true);
        QVERIFY(added.wait(10000));
        QCOMPARE(added.at(0).at(0).toInt(), 49);
        QCOMPARE(QImage(SnapshotFiles::thumbnailPath(49)).size(), QSize(296, 296));
    }
    // What a program killed between writing a picture and listing it leaves:
    // its record and prepared thumbnail. The next start lists the picture
    // with that thumbnail, after those already listed, and no temporary
    // thumbnail stays behind, whatever the records say. A record no one can
    // tell to be a leftover at the start (its program still saving, or a
    // record whose name tells no program, too fresh) stays with its
    // thumbnail, and is looked at again at the next snapshot: listed then
    // once its program has ended or it has been untouched for long.
    void killedSaveIsListedAtTheNextStart_data() {
        QTest::addColumn<bool>("pictureOnDisk");
        QTest::addColumn<bool>("alreadyListed");
        QTest::addColumn<bool>("thumbnailMade");
        QTest::addColumn<int>("listed");
        // "ended", "running" at the start, "untold" (a fresh record), or "list
        // unwritten": a save listed while its list could not be written.
        QTest::addColumn<QString>("owner");
        QTest::newRow("killed after the write") << true << false << true << 2 << "ended";
        QTest::newRow("killed before the write") << false << false << true << 1 << "ended";
        QTest::newRow("killed after the listing") << true << true << true << 2 << "ended";
        QTest::newRow("no thumbnail made") << true << false << false << 2 << "ended";
        QTest::newRow("its program still saving at the start") << true << false << true << 2 << "running";
        QTest::newRow("a record that tells no program, fresh at the start")
            << true << false << true << 2 << "untold";
        QTest::newRow("saved while no file could be opened for its list")
            << false << false << false << 2 << "list unwritten";
    }
    void killedSaveIsListedAtTheNextStart() {
        QFETCH(bool, pictureOnDisk);
        QFETCH(bool, alreadyListed);
        QFETCH(bool, thumbnailMade);
        QFETCH(int, listed);
        QFETCH(QString, owner);
        // A folder the program has not loaded its list from in this run.
        const QString home = QDir::currentPath();
        const QString folder = env->file("next-start");
        QVERIFY(QDir().mkpath(folder + "/.scaleImage"));
        QVERIFY(QDir::setCurrent(folder));
        // Snapshots go to the snapshot folder, the default one here.
        QVERIFY(QDir().mkpath(env->file("Export/Image")));
        const QString earlier = folder + "/earlier.jpg", shot = env->file("Export/Image/shot.jpg");
        QVERIFY(filled(40, 30, Qt::blue).save(earlier));
        QVERIFY(filled(80, 60, Qt::red).save(SnapshotFiles::thumbnailPath(0)));
        {
            QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
            ini.setValue("0", earlier);
            if (alreadyListed)
                ini.setValue("1", shot);
            ini.setValue("TotalCnt", alreadyListed ? 2 : 1);
        }
        if (alreadyListed)
            QVERIFY(filled(70, 60, Qt::red).save(SnapshotFiles::thumbnailPath(1)));
        const QString thumb = thumbnailMade ? SnapshotFiles::prepareThumbnail(filled(600, 296, Qt::green)) : QString();
        QVERIFY(thumbnailMade == !thumb.isEmpty());
        // The record of a program killed since: written by one that has
        // ended; or by one still saving; or one whose name tells no program.
        HeldChild saving;
        if (owner == "running") {
            saving = heldChild(
                [&](const std::function<void()>& waitHere) {
                    if (SnapshotRecords::notePending(shot, thumb).isEmpty())
                        ::_exit(1);
                    waitHere();
                },
                false);
            QVERIFY(saving.kill > 0);
        } else if (owner == "untold") {
            QFile note("./.scaleImage/.pending-zz0002");
            QVERIFY(note.open(QIODevice::WriteOnly));
            QVERIFY(note.write((shot + "\n" + thumb + "\n").toUtf8()) > 0);
        } else if (owner == "list unwritten") {
            // A whole save in a program that ends after it: the picture is
            // written, then listed while no file can be opened (ulimit -n).
            const pid_t saved = ::fork();
            if (saved == 0) {
                hub->initImageHistory();
                ThreaSaveImg saver;
                runJob(saver, filled(600, 296, Qt::green), env->file("Export/Image/shot"), 0, true);
                const ProcessAtLimit files(ProcessAtLimit::Files);
                while (!hub->getHistoryList().contains(shot))
                    QCoreApplication::processEvents();
                ::_exit(hub->imageHistoryStored() ? 1 : 0);
            }
            int status = -1;
            QVERIFY(::waitpid(saved, &status, 0) == saved && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            const pid_t killed = ::fork();
            if (killed == 0)
                ::_exit(SnapshotRecords::notePending(shot, thumb).isEmpty() ? 1 : 0);
            int status = -1;
            QVERIFY(::waitpid(killed, &status, 0) == killed && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const auto endSaving = qScopeGuard([&] {
            if (saving.kill > 0)
                endHeld(saving);
        });
        if (pictureOnDisk)
            QVERIFY(filled(600, 296, Qt::green).save(shot));
        // A temporary thumbnail of a save whose record was never written.
        // Its name tells no program: it goes once long untouched.
        QVERIFY(filled(10, 10, Qt::black).save("./.scaleImage/.new-stray1.jpg"));
        QVERIFY(touchedAgo("./.scaleImage/.new-stray1.jpg", 11 * 60));

        hub->initImageHistory();
        QStringList later;
        if (owner == "running" || owner == "untold") {
            // Kept, with its thumbnail, until the next snapshot.
            const QStringList kept = hub->getHistoryList();
            const QStringList keptFiles = QDir("./.scaleImage").entryList(QDir::Files | QDir::Hidden);
            QCOMPARE(kept, QStringList{earlier});
            QCOMPARE(keptFiles.filter(QRegularExpression("^\\.pending")).size(), 1);
            QVERIFY2(QFile::exists(thumb), qPrintable(keptFiles.join(' ')));
            if (owner == "running")
                endHeld(saving);
            else
                QVERIFY(touchedAgo("./.scaleImage/.pending-zz0002", 11 * 60));
            saving = HeldChild();
            const QString next = env->file("Export/Image/next.jpg");
            QVERIFY(filled(50, 40, Qt::yellow).save(next));
            SnapshotFiles::addToHistory(next, SnapshotFiles::prepareThumbnail(filled(50, 40, Qt::yellow)));
            later << next;
        }
        const QStringList list = hub->getHistoryList();
        const QStringList left = QDir("./.scaleImage").entryList(QDir::Files | QDir::Hidden, QDir::Name);
        const QSize second = QImage(SnapshotFiles::thumbnailPath(1)).size();
        QVERIFY(QDir::setCurrent(home));
        QCOMPARE(list.size(), listed + later.size());
        QCOMPARE(list.first(), earlier);
        QCOMPARE(list.mid(listed), later);
        if (listed == 2) {
            QCOMPARE(list[1], shot);
            // The prepared thumbnail took the index's name (or the one listed stayed).
            if (alreadyListed)
                QCOMPARE(second, QSize(70, 60));
            else if (thumbnailMade)
                QCOMPARE(second, QSize(600, 296));
        }
        QStringList expected{"0.jpg"};
        if (listed == 2 && (alreadyListed || thumbnailMade))
            expected << "1.jpg";
        if (!later.isEmpty())
            expected << "2.jpg";
        QCOMPARE(left, expected);
    }

    // A thumbnail is a new file like the picture: it gets what the folder's
    // default ACL (or else the umask) gives a file made there, as touch
    // makes it, and keeps it under its index's name.
    void aThumbnailGetsWhatItsFolderGives_data() {
        newFileAclRows();
    }
    void aThumbnailGetsWhatItsFolderGives() {
        QFETCH(QString, defaultAcl);
        QFETCH(int, mask);
        const QString folder = QDir("./.scaleImage").absolutePath();
        QVERIFY(QDir().mkpath(folder));
        const QString given = defaultAcl.isEmpty() ? QString() : setDefaultAcl(folder, defaultAcl);
        if (given.startsWith("unsupported"))
            QSKIP(qPrintable(given));
        QVERIFY2(given.isEmpty(), qPrintable(given));
        const mode_t old = ::umask(mode_t(mask));
        const QString touched = runProgram("touch", {folder + "/touched"});
        const QString prepared = SnapshotFiles::prepareThumbnail(filled(40, 30, Qt::red));
        const QString preparedAcl = aclOf(prepared);
        const int index = SnapshotFiles::addToHistory(env->file("shot.jpg"), prepared);
        ::umask(old);
        QCOMPARE(touched, QString());
        QVERIFY(index >= 0);
        const QString expected = aclOf(folder + "/touched");
        QVERIFY2(!expected.startsWith("getfacl failed"), qPrintable(expected));
        QCOMPARE(preparedAcl, expected);
        QCOMPARE(aclOf(SnapshotFiles::thumbnailPath(index)), expected);
        QCOMPARE(QImage(SnapshotFiles::thumbnailPath(index)).size(), QSize(296 * 40 / 30, 296));
    }
    // A record names files by their paths: a damaged or planted one may name
    // any file. Only a thumbnail the program made in ./.scaleImage and a
    // picture in the snapshot folder are taken; any other file stays as it
    // was, and the record goes.
    void foreignRecordLeavesFilesAlone_data() {
        // "%SHOT%": the snapshot, "%OUT%": the outside file, "%IMG%": the snapshot folder
        QTest::addColumn<QString>("pictureLine");
        QTest::addColumn<QString>("thumbLine");
        QTest::addColumn<bool>("alreadyListed");
        for (bool listed : {false, true}) {
            const char* tag = listed ? ", listed" : ", not listed";
            QTest::newRow(qPrintable(QString("absolute thumbnail") + tag)) << "%SHOT%" << "%OUT%" << listed;
            QTest::newRow(qPrintable(QString("thumbnail up a folder") + tag))
                << "%SHOT%" << "./.scaleImage/../outside/notes.txt" << listed;
            QTest::newRow(qPrintable(QString("thumbnail through a linked folder") + tag))
                << "%SHOT%" << "./.scaleImage/linked/.new-abc123.jpg" << listed;
            QTest::newRow(qPrintable(QString("linked thumbnail") + tag))
                << "%SHOT%" << "./.scaleImage/.new-lnk456.jpg" << listed;
        }
        QTest::newRow("outside file as the picture") << "%OUT%" << "" << false;
        QTest::newRow("picture up a folder") << "%IMG%/../../foreign/outside/notes.txt" << "" << false;
        QTest::newRow("picture elsewhere") << "%ELSE%" << "" << false;
        QTest::newRow("picture through a linked folder") << "%IMG%/linked/elsewhere.jpg" << "" << false;
        QTest::newRow("linked picture") << "%IMG%/link.jpg" << "" << false;
    }
    void foreignRecordLeavesFilesAlone() {
        QFETCH(QString, pictureLine);
        QFETCH(QString, thumbLine);
        QFETCH(bool, alreadyListed);
        const QString home = QDir::currentPath();
        const QString folder = env->file("foreign");
        QVERIFY(QDir().mkpath(folder + "/.scaleImage"));
        QVERIFY(QDir().mkpath(folder + "/outside"));
        QVERIFY(QDir::setCurrent(folder));
        QVERIFY(QDir().mkpath(env->file("Export/Image")));
        // The user's files outside the program's folders.
        const QString outside = folder + "/outside/notes.txt";
        const QString planted = folder + "/outside/.new-abc123.jpg";
        const QByteArray text("the user's own notes\n");
        for (const QString& f : {outside, planted}) {
            QFile out(f);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(text);
        }
        QVERIFY(QFile::link(folder + "/outside", folder + "/.scaleImage/linked"));
        QVERIFY(QFile::link(outside, folder + "/.scaleImage/.new-lnk456.jpg"));
        const QString shot = env->file("Export/Image/shot.jpg");
        QVERIFY(filled(60, 40, Qt::green).save(shot));
        // A picture of the user's outside the snapshot folder, and links to it there.
        const QString elsewhere = folder + "/outside/elsewhere.jpg";
        QVERIFY(filled(60, 40, Qt::red).save(elsewhere));
        const QByteArray elsewhereBytes = [&] {
            QFile in(elsewhere);
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        }();
        QVERIFY(QFile::link(folder + "/outside", env->file("Export/Image/linked")));
        QVERIFY(QFile::link(elsewhere, env->file("Export/Image/link.jpg")));
        QVERIFY(filled(60, 40, Qt::blue).save(SnapshotFiles::thumbnailPath(0)));
        {
            QSettings ini("./ImageHistory.ini", QSettings::IniFormat);
            ini.setValue("0", shot);
            ini.setValue("TotalCnt", alreadyListed ? 1 : 0);
            if (!alreadyListed)
                ini.remove("0");
        }
        if (!alreadyListed)
            QFile::remove(SnapshotFiles::thumbnailPath(0));
        auto line = [&](QString s) {
            return s.replace("%SHOT%", shot).replace("%OUT%", outside).replace("%ELSE%", elsewhere)
                .replace("%IMG%", env->file("Export/Image"));
        };
        {
            QFile note("./.scaleImage/.pending-zz0001");
            QVERIFY(note.open(QIODevice::WriteOnly));
            note.write((line(pictureLine) + "\n" + line(thumbLine) + "\n").toUtf8());
        }
        // Of a program long ended: its name tells no program.
        QVERIFY(touchedAgo("./.scaleImage/.pending-zz0001", 11 * 60));

        hub->initImageHistory();
        const QStringList list = hub->getHistoryList();
        const bool notesLeft = !QDir("./.scaleImage").entryList({".pending-*"}, QDir::Files | QDir::Hidden).isEmpty();
        const QStringList thumbs = QDir("./.scaleImage").entryList({"*.jpg"}, QDir::Files);
        QVERIFY(QDir::setCurrent(home));
        for (const QString& f : {outside, planted}) {
            QFile in(f);
            QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(f + " is gone"));
            QCOMPARE(in.readAll(), text);
        }
        QVERIFY(QFileInfo(folder + "/.scaleImage/linked").isSymLink());
        QFile in(elsewhere);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), elsewhereBytes);
        QVERIFY(!notesLeft);
        QVERIFY2(!list.contains(line(pictureLine)) || line(pictureLine) == shot, qPrintable(list.join(",")));
        for (const QString& t : thumbs)
            QVERIFY2(!QFileInfo(folder + "/.scaleImage/" + t).isSymLink(), qPrintable(t));
    }
};

QTEST_MAIN(tst_ThreaSaveImg)
#include "tst_ThreaSaveImg.moc"
