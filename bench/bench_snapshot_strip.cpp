// The recent-snapshot strip's reload: 50 thumbnails read from 3840 x 2160
// JPEG files and scaled to the cell's picture height by the strip's worker
// thread, against QImage::load + scaled of the same files in one thread,
// interleaved. Prints wall time, GUI-thread CPU time, process CPU time, the
// ratio (ours / inline) and the longest the GUI thread went without serving
// its event loop while the thumbnails loaded (a 1 ms timer's largest gap),
// beside the reload call itself (creating the cells).
//
// Run: QT_QPA_PLATFORM=offscreen bench_snapshot_strip [--rounds N]

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "imaging/SnapHistory.h"
#include "imaging/SnapHistoryGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

double processCpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-3;
}

struct Figures {
    double wallMs = 0, guiCpuMs = 0, cpuMs = 0, worstGapMs = 0, reloadMs = 0;
};

bool allShown(const SnapHistory& strip) {
    for (const SnapHistoryGrid* c : strip.cells())
        if (c->imageLabel()->pixmap(Qt::ReturnByValue).isNull())
            return false;
    return !strip.cells().isEmpty();
}

Figures runStrip(SnapHistory& strip) {
    Figures f;
    QEventLoop loop;
    QElapsedTimer gap;
    QTimer tick;
    tick.setInterval(1);
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        f.worstGapMs = std::max(f.worstGapMs, gap.nsecsElapsed() * 1e-6);
        gap.restart();
        if (++ticks % 10 == 0 && allShown(strip))
            loop.quit();
    });
    const double g0 = threadCpuMs(), c0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QElapsedTimer reload;
    reload.start();
    strip.showAndReload();
    f.reloadMs = reload.nsecsElapsed() * 1e-6;
    // From here the thumbnails load: the GUI thread must stay free.
    gap.start();
    tick.start();
    loop.exec();
    f.wallMs = wall.nsecsElapsed() * 1e-6;
    tick.stop();
    f.guiCpuMs = threadCpuMs() - g0;
    f.cpuMs = processCpuMs() - c0;
    while (strip.worker().isRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return f;
}

Figures runInline(int count, int height) {
    Figures f;
    const double g0 = threadCpuMs(), c0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QElapsedTimer one;
    for (int i = 0; i < count; ++i) {
        one.start();
        QImage img;
        img.load(QString("./.scaleImage/%1.jpg").arg(i));
        const QImage t = img.scaledToHeight(height, Qt::SmoothTransformation);
        f.worstGapMs = std::max(f.worstGapMs, one.nsecsElapsed() * 1e-6);
        if (t.isNull())
            std::printf("unreadable thumbnail %d\n", i);
    }
    f.wallMs = wall.nsecsElapsed() * 1e-6;
    f.guiCpuMs = threadCpuMs() - g0;
    f.cpuMs = processCpuMs() - c0;
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("SEVRIN_APP_DIR", dir.path().toUtf8());
    QDir::setCurrent(dir.path());
    QApplication app(argc, argv);
    int rounds = 3;
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::atoi(argv[++i]);

    BaseCamera cam;
    MessagePassing* hub = MessagePassing::instance();
    hub->setCurCamera(&cam);
    hub->initImageHistory();
    QDir().mkpath("./.scaleImage");
    const int count = 50;
    QImage big(3840, 2160, QImage::Format_RGB888);
    for (int y = 0; y < big.height(); ++y) {
        uchar* p = big.scanLine(y);
        for (int x = 0; x < big.width() * 3; ++x)
            p[x] = uchar((x * 7 + y * 3) ^ (x / 97 + y / 53));
    }
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QString("shot%1.jpg").arg(i));
        QFile(path).open(QIODevice::WriteOnly);
        big.save(QString("./.scaleImage/%1.jpg").arg(i), "JPG", 90);
        hub->addImageHistory(path);
    }
    // Hidden, as the main widget creates it and reloads it at once.
    SnapHistory strip;
    strip.resize(300, 800);
    const int height = SnapHistoryGrid().imageLabel()->height();
    std::printf("Recent snapshot strip: %d thumbnails from 3840x2160 JPEG files, scaled to %d px high, %d rounds\n",
                count, height, rounds);
    Figures sum[2];
    for (int r = 0; r < rounds; ++r) {
        const Figures a = runStrip(strip), b = runInline(count, height);
        for (int k = 0; k < 2; ++k) {
            const Figures& x = k ? b : a;
            sum[k].wallMs += x.wallMs;
            sum[k].guiCpuMs += x.guiCpuMs;
            sum[k].cpuMs += x.cpuMs;
            sum[k].worstGapMs = std::max(sum[k].worstGapMs, x.worstGapMs);
            sum[k].reloadMs = std::max(sum[k].reloadMs, x.reloadMs);
        }
    }
    const char* names[2] = {"strip (worker)", "inline load+scale"};
    for (int k = 0; k < 2; ++k)
        std::printf("  %-18s wall %7.1f ms  GUI-thread CPU %7.1f ms  process CPU %7.1f ms  longest GUI block %6.1f ms\n",
                    names[k], sum[k].wallMs / rounds, sum[k].guiCpuMs / rounds, sum[k].cpuMs / rounds,
                    sum[k].worstGapMs);
    std::printf("  ratio strip / inline (wall): %.3f; the reload call itself took at most %.1f ms\n",
                sum[0].wallMs / sum[1].wallMs, sum[0].reloadMs);
    hub->setCurCamera(nullptr);
    return 0;
}
