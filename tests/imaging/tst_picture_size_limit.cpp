#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/deviceForm.h"
#include "imaging/FrameForm.h"
#include "app/hub/PictureSizeLimit.h"
#include "imaging/SnapHistoryGrid.h"
#include "imaging/SnapOpenSave.h"
#include "imaging/ThreadHistory.h"
#include "resources/SevrinResources.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

// Pictures whose header claims more than the program can hold are refused
// before anything decodes them: the still view, the open and overlay buttons,
// a click in the recent strip and the strip's thumbnail worker.
class TestPictureSizeLimit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init() {
        env = std::make_unique<TestEnv>(); // before the camera: it opens ./ImageHistory.ini
        hub->setCurCamera(&cam);
    }
    void cleanup() {
        hub->setCurCamera(nullptr);
        env.reset();
    }
    void headerSize_data();
    void headerSize();
    void fits_data();
    void fits();
    void stillViewKeepsItsPicture();
    void openAndOverlayButtonsRefuse_data();
    void openAndOverlayButtonsRefuse();
    void stripClickRefuses_data();
    void stripClickRefuses();
    void thumbnailWorkerSkips();
    void craftedPicturesAreRefused_data();
    void craftedPicturesAreRefused();
    void undecodablePictureKeepsTheView_data();
    void undecodablePictureKeepsTheView();

private:
    // Opens path in a still view that shows a picture: the "Error" box must
    // come, naming path (its text in *text), and the picture must stay.
    void stillViewRefuses(const QString& path, QString* text = nullptr);

    std::unique_ptr<TestEnv> env;
    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
};

namespace {

QByteArray encoded(const QImage& image, const char* format, bool progressive = false) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return buffer.data();
}

QImage small() {
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(QColor(40, 120, 200));
    return img;
}

void putBe16(QByteArray& b, int at, int v) {
    b[at] = char(v >> 8);
    b[at + 1] = char(v);
}
void putBe32(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}
void putLe32(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

// A small real file of the format whose header is rewritten to claim w x h:
// a few kilobytes on disk, gigabytes once decoded.
QByteArray claiming(const QString& format, int w, int h) {
    if (format == "jpg") {
        QByteArray b = encoded(small(), "jpg");
        const int sof = b.indexOf(QByteArray("\xff\xc0", 2));
        putBe16(b, sof + 5, h); // marker, length, precision, then height and width
        putBe16(b, sof + 7, w);
        return b;
    }
    if (format == "png") {
        QByteArray b = encoded(small(), "png");
        putBe32(b, 16, quint32(w));
        putBe32(b, 20, quint32(h));
        // The header chunk's checksum covers its type and data.
        putBe32(b, 29, quint32(crc32(0, reinterpret_cast<const Bytef*>(b.constData() + 12), 17)));
        return b;
    }
    QByteArray b = encoded(small(), "bmp");
    putLe32(b, 18, quint32(w));
    putLe32(b, 22, quint32(h));
    return b;
}

void putLe16(QByteArray& b, int at, int v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}

// A 1-bit greyscale PNG of w x h black pixels: its rows deflate to a few
// hundred kilobytes whatever the size.
QByteArray blackPng(int w, int h) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&png](const QByteArray& type, const QByteArray& data) {
        QByteArray head(4, 0);
        putBe32(head, 0, quint32(data.size()));
        const QByteArray body = type + data;
        QByteArray crc(4, 0);
        putBe32(crc, 0, quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
        png += head + body + crc;
    };
    QByteArray header(13, 0);
    putBe32(header, 0, quint32(w));
    putBe32(header, 4, quint32(h));
    header[8] = 1; // bit depth; colour type 0, grey
    chunk("IHDR", header);
    z_stream z{};
    deflateInit(&z, Z_DEFAULT_COMPRESSION);
    const QByteArray row(1 + (w + 7) / 8, 0); // filter byte, then the pixels
    QByteArray data;
    char buf[1 << 16];
    for (int y = 0; y < h; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.constData()));
        z.avail_in = uInt(row.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, y == h - 1 ? Z_FINISH : Z_NO_FLUSH);
            data.append(buf, int(sizeof buf - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    chunk("IDAT", data);
    chunk("IEND", QByteArray());
    return png;
}

// An icon file whose one image is the given PNG; its directory says 256 x 256.
QByteArray iconHolding(const QByteArray& png) {
    QByteArray ico(22, 0);
    putLe16(ico, 2, 1); // an icon
    putLe16(ico, 4, 1); // one image
    putLe16(ico, 6 + 4, 1); // planes; width, height and colours 0: 256 x 256
    putLe16(ico, 6 + 6, 32);
    putLe32(ico, 6 + 8, quint32(png.size()));
    putLe32(ico, 6 + 12, 22);
    return ico + png;
}

// A JPEG whose frame header (progressive, or extended sequential) states
// 30000 x 30000, with a baseline frame header of 16 x 16 planted at the
// start of its scan data, where only the decoder's own walk knows it is data.
QByteArray plantedBaseline(bool progressive) {
    QByteArray b = encoded(small(), "jpg", progressive);
    int frame = b.indexOf(QByteArray(progressive ? "\xff\xc2" : "\xff\xc0", 2));
    if (!progressive)
        b[frame + 1] = char(0xc1);
    putBe16(b, frame + 5, 30000);
    putBe16(b, frame + 7, 30000);
    const int scan = b.indexOf(QByteArray("\xff\xda", 2), frame);
    const int length = (uchar(b[scan + 2]) << 8) | uchar(b[scan + 3]);
    b.insert(scan + 2 + length, QByteArray("\xff\xc0\x00\x11\x08\x00\x10\x00\x10\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 19));
    return b;
}

// Peak resident memory of this process so far, in bytes.
qint64 peakResident() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

QString write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

// Answers the next modal box, keeping its title and text (shared: a case
// that fails before the box shows leaves the answer waiting).
struct BoxReader {
    struct Seen {
        QString title, text;
    };
    std::shared_ptr<Seen> seen = std::make_shared<Seen>();
    const QString& title() const { return seen->title; }
    const QString& text() const { return seen->text; }
    BoxReader() {
        answerNextModal(
            "QMessageBox",
            [seen = seen](QWidget* w) {
                auto* box = static_cast<QMessageBox*>(w);
                seen->title = box->windowTitle();
                seen->text = box->text();
                box->done(0);
            },
            5000);
    }
};

const qint64 kGiB = qint64(1) << 30;

// A FIFO at path, no writer of its own: a reader that opens it would wait
// for good. Whenever one waits, the watch opens the writing end, which lets
// it go on (with an empty file), and counts it.
class FifoWatch {
public:
    explicit FifoWatch(const QString& path) : name(QFile::encodeName(path)) {
        made = ::mkfifo(name.constData(), 0644) == 0;
        watcher = std::thread([this] {
            for (int fd; !done; ::usleep(1000))
                if ((fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0 &&
                    ::close(fd) == 0)
                    ++readers;
        });
    }
    ~FifoWatch() {
        done = true;
        watcher.join();
    }
    bool made = false;
    std::atomic<int> readers{0};

private:
    QByteArray name;
    std::atomic<bool> done{false};
    std::thread watcher;
};

} // namespace

void TestPictureSizeLimit::headerSize_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::newRow("jpeg claiming 65500 x 65500") << claiming("jpg", 65500, 65500) << QSize(65500, 65500);
    QTest::newRow("png claiming 30000 x 20000") << claiming("png", 30000, 20000) << QSize(30000, 20000);
    QTest::newRow("png wider than 16 bits") << claiming("png", 70000, 10) << QSize(70000, 10);
    QTest::newRow("bmp claiming 16000 x 12000") << claiming("bmp", 16000, 12000) << QSize(16000, 12000);
    QImage p(40, 30, QImage::Format_RGB32);
    p.fill(Qt::white);
    QTest::newRow("progressive jpeg") << encoded(p, "jpg", true) << QSize(40, 30);
    QTest::newRow("tiff") << encoded(p, "tiff") << QSize(40, 30);
    QTest::newRow("not a picture") << QByteArray("hello") << QSize();
    QTest::newRow("icon holding a large png") << iconHolding(blackPng(3000, 2000)) << QSize(3000, 2000);
    QTest::newRow("progressive jpeg, baseline header in its scan") << plantedBaseline(true) << QSize(30000, 30000);
    QTest::newRow("extended jpeg, baseline header in its scan") << plantedBaseline(false) << QSize(30000, 30000);
}

void TestPictureSizeLimit::headerSize() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QCOMPARE(PictureSizeLimit::headerSize(write(env->file("a.jpg"), bytes)), size);
}

void TestPictureSizeLimit::fits_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qint64>("memory");
    QTest::addColumn<bool>("fits");
    QTest::newRow("400 megapixels") << QSize(20000, 20000) << qint64(0) << true;
    QTest::newRow("one row more") << QSize(20000, 20001) << qint64(0) << false;
    QTest::newRow("65500 squared") << QSize(65500, 65500) << 64 * kGiB << false;
    QTest::newRow("a quarter of memory exactly") << QSize(10000, 10000) << qint64(1600000000) << true;
    QTest::newRow("a byte beyond a quarter") << QSize(10000, 10000) << qint64(1600000000 - 4) << false;
    QTest::newRow("camera frame, small machine") << QSize(3840, 2160) << kGiB << true;
    QTest::newRow("400 megapixels, 4 GiB") << QSize(20000, 20000) << 4 * kGiB << false;
}

void TestPictureSizeLimit::fits() {
    QFETCH(QSize, size);
    QFETCH(qint64, memory);
    QFETCH(bool, fits);
    QCOMPARE(PictureSizeLimit::fits(size, memory), fits);
}

void TestPictureSizeLimit::stillViewRefuses(const QString& path, QString* text) {
    QWidget area;
    area.resize(400, 300);
    FrameForm form(&area);
    QImage shown(64, 48, QImage::Format_RGB32);
    shown.fill(Qt::red);
    QVERIFY(shown.save(env->file("ok.png")));
    // Opened once: what the checks looked at is what is decoded, not
    // whatever has the name by then (a FIFO would hold the interface).
    const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(opens >= 0 &&
            ::inotify_add_watch(opens, QFile::encodeName(env->path()).constData(), IN_OPEN | IN_CLOSE) >= 0);
    hub->setEditImage(env->file("ok.png"));
    QVERIFY(form.isImageLoaded());
    alignas(inotify_event) char events[4096];
    const ssize_t got = ::read(opens, events, sizeof events);
    ::close(opens);
    int opened = 0;
    for (ssize_t at = 0; at < got;
         at += ssize_t(sizeof(inotify_event)) + reinterpret_cast<inotify_event*>(events + at)->len)
        opened += QByteArray(reinterpret_cast<inotify_event*>(events + at)->name) == "ok.png" &&
                  (reinterpret_cast<inotify_event*>(events + at)->mask & IN_OPEN); // closes keep opens apart
    QCOMPARE(opened, 1);
    const QImage before = form.picture();
    QSignalSpy ok(hub, SIGNAL(setEditImageOKSIGNAL()));
    BoxReader box;
    hub->setEditImage(path);
    QCOMPARE(box.title(), QString("Error"));
    QVERIFY2(box.text().contains(path), qPrintable(box.text()));
    if (text)
        *text = box.text();
    QVERIFY(ok.isEmpty());
    QVERIFY(form.isImageLoaded());
    QCOMPARE(form.picture(), before);
}

void TestPictureSizeLimit::stillViewKeepsItsPicture() {
    QString text;
    stillViewRefuses(write(env->file("big.jpg"), claiming("jpg", 65500, 65500)), &text);
    QVERIFY2(text.contains("65500"), qPrintable(text));
}

void TestPictureSizeLimit::openAndOverlayButtonsRefuse_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("format");
    QTest::newRow("open, jpeg") << "btnOpenClick"
                                << "jpg";
    QTest::newRow("open, png") << "btnOpenClick"
                               << "png";
    QTest::newRow("overlay, png") << "btnOverlayClick"
                                  << "png";
}

void TestPictureSizeLimit::openAndOverlayButtonsRefuse() {
    QFETCH(QString, button);
    QFETCH(QString, format);
    hub->setIsCameraMode(true);
    SnapOpenSave bar;
    const QString big = write(env->file("big." + format), claiming(format, 30000, 20000));
    SnapOpenSave::setFileChooser(
        [&](const QString&, const QString&, const QString&, bool, QString*) { return big; });
    QSignalSpy opened(hub, SIGNAL(setEditImageSIGNAL(QString)));
    QSignalSpy overlaid(hub, SIGNAL(setOverlayImageSIGNAL(QString, int)));
    const QString editBefore = hub->getEditImagePath();
    BoxReader box;
    QMetaObject::invokeMethod(&bar, button.toLatin1().constData());
    QCOMPARE(box.title(), QString("Error"));
    QVERIFY(box.text().contains(big));
    QVERIFY(opened.isEmpty());
    QVERIFY(overlaid.isEmpty());
    QVERIFY(!bar.overlayMode());
    QCOMPARE(hub->getEditImagePath(), editBefore);
    SnapOpenSave::setFileChooser({});
}

void TestPictureSizeLimit::stripClickRefuses_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("picture too large") << false;
    QTest::newRow("FIFO at the picture's name") << true;
}

void TestPictureSizeLimit::stripClickRefuses() {
    QFETCH(bool, fifo);
    const QString big = env->file("big.png");
    std::unique_ptr<FifoWatch> watch;
    QVERIFY(!fifo || (watch = std::make_unique<FifoWatch>(big))->made);
    if (!fifo)
        write(big, claiming("png", 30000, 20000));
    SnapHistoryGrid cell;
    cell.setData(QFileInfo(big), 0, false);
    QSignalSpy opened(hub, SIGNAL(setEditImageSIGNAL(QString)));
    BoxReader box;
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(20, 20), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&cell, &release);
    QCOMPARE(box.title(), QString("Error"));
    QVERIFY(box.text().contains(big));
    QVERIFY(opened.isEmpty());
    QVERIFY(!cell.selected());
    QVERIFY(hub->getEditImagePath() != big);
    if (watch)
        QCOMPARE(watch->readers.load(), 0);
}

void TestPictureSizeLimit::thumbnailWorkerSkips() {
    QImage thumb(60, 40, QImage::Format_RGB32);
    thumb.fill(Qt::green);
    QVERIFY(thumb.save(env->file("0.jpg")));
    write(env->file("1.jpg"), claiming("jpg", 65500, 65500));
    QVERIFY(thumb.save(env->file("2.jpg")));
    // One claiming 16000 x 16000 (a gigabyte decoded, which fits this
    // machine as a picture) is larger than any picture a snapshot makes.
    write(env->file("3.jpg"), claiming("jpg", 16000, 16000));
    FifoWatch fifo(env->file("4.jpg"));
    QVERIFY(fifo.made);
    const qint64 peakBefore = peakResident();
    QLabel labels[5];
    ThreadHistory worker;
    for (int i = 0; i < 5; ++i) {
        labels[i].resize(90, 30);
        worker.addItem(env->file(QString("%1.jpg").arg(i)), &labels[i]);
    }
    worker.start();
    QVERIFY(worker.wait(10000));
    QTRY_VERIFY(!labels[2].pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(labels[0].pixmap(Qt::ReturnByValue).height(), 30);
    QVERIFY(labels[1].pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(labels[3].pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(fifo.readers.load(), 0);
    const qint64 grown = peakResident() - peakBefore;
    QVERIFY2(grown < 100 * 1024 * 1024, qPrintable(QString("peak memory grew by %1 MB").arg(grown >> 20)));
}

void TestPictureSizeLimit::initTestCase() {
    sevrinInitResources();
    // A picture that got past the guard must not take the machine with it:
    // this process gets 2 GiB of address space beyond what it holds now, and
    // a decoder that goes for gigabytes fails instead.
    QVERIFY(limitAddressSpace(2ull << 30));
}

void TestPictureSizeLimit::craftedPicturesAreRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray icon = iconHolding(blackPng(30000, 30000));
    QTest::newRow("icon holding a 30000 x 30000 png, named .jpg") << "x.jpg" << icon;
    QTest::newRow("icon holding a 30000 x 30000 png, named .ico") << "x.ico" << icon;
    QTest::newRow("progressive jpeg, baseline header in its scan") << "p.jpg" << plantedBaseline(true);
    QTest::newRow("extended jpeg, baseline header in its scan") << "e.jpg" << plantedBaseline(false);
    QTest::newRow("jpeg claiming 65500 x 65500") << "big.jpg" << claiming("jpg", 65500, 65500);
    QTest::newRow("png claiming 30000 x 20000") << "big.png" << claiming("png", 30000, 20000);
}

// Whatever the file says about itself, the guard goes by the size its decoder
// would make, in the still view, the recent strip's thumbnails and the
// company picture at start; memory stays as it was.
void TestPictureSizeLimit::craftedPicturesAreRefused() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const qint64 peakBefore = peakResident();
    const QString path = write(env->file(name), bytes);
    QVERIFY(!PictureSizeLimit::mayDecode(path));
    stillViewRefuses(path);
    if (QTest::currentTestFailed())
        return;

    QLabel label;
    label.resize(90, 30);
    ThreadHistory worker;
    worker.addItem(path, &label);
    worker.start();
    QVERIFY(worker.wait(60000));
    QCoreApplication::processEvents();
    QVERIFY(label.pixmap(Qt::ReturnByValue).isNull());

    QDir().mkpath(env->file("help"));
    write(env->file("help/companyInfo.png"), bytes);
    {
        deviceForm start;
        start.resize(300, 600);
        start.show();
        QCoreApplication::processEvents();
        auto* picture = start.findChild<QLabel*>("labImg");
        QVERIFY(picture);
        QVERIFY(picture->pixmap(Qt::ReturnByValue).isNull());
    }
    const qint64 grown = peakResident() - peakBefore;
    QVERIFY2(grown < 100 * 1024 * 1024, qPrintable(QString("peak memory grew by %1 MB").arg(grown >> 20)));
}

void TestPictureSizeLimit::undecodablePictureKeepsTheView_data() {
    QTest::addColumn<QByteArray>("bytes");
    QByteArray png = encoded(small(), "png");
    QTest::newRow("random bytes") << [] {
        QByteArray b(5000, 0);
        quint32 x = 12345;
        for (char& c : b)
            c = char((x = x * 1103515245u + 12345u) >> 24);
        return b;
    }();
    QTest::newRow("png cut after its header") << png.left(33);
    QTest::newRow("empty file") << QByteArray();
}

// A file that does not decode is refused with the "Error" box as a too large
// one is: the picture on screen and its size stay.
void TestPictureSizeLimit::undecodablePictureKeepsTheView() {
    QFETCH(QByteArray, bytes);
    stillViewRefuses(write(env->file("bad.jpg"), bytes));
}

QTEST_MAIN(TestPictureSizeLimit)
#include "tst_picture_size_limit.moc"
