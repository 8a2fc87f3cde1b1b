// The live-interface benchmark's floor: the least the program's window design
// costs for a shown video frame, linked against Qt Widgets alone. A frameless
// translucent top-level (like the program's central widget) holds a view area
// whose lowest child paints a ready picture 30 times a second through
// update(), paintEvent and drawImage; nothing decodes, converts or scales.
//
// It prints, once a second, a line in the program's own loop-figure format
// (see LiveLoop), so the benchmark reads both alike: ticks as passes, the
// longest gap between two ticks, the main thread's whole CPU time as the
// work, and the pictures painted as shown.
//
// usage: LiveFloorWindow [--view X,Y,W,H] [--picture X,Y,W,H] [--fps N]
//   view: the view area on the screen; picture: where in the view area the
//   picture lies (the program's 4K and 1080p picture at 1920 x 1080 by default).
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

QRect parseRect(const QString& text, const QRect& fallback) {
    const QStringList p = text.split(',');
    if (p.size() != 4)
        return fallback;
    return QRect(p[0].toInt(), p[1].toInt(), p[2].toInt(), p[3].toInt());
}

// Two pictures shown in turn, with coloured discs on a grey ground, so that a
// screenshot sees the picture and every frame differs from the one before.
QImage makePicture(QSize size, int shift) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(90, 90, 90));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 12; ++i) {
        p.setBrush(colours[i % 4]);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPoint(60 + i * size.width() / 12 + shift, size.height() / 2), 45, 45);
    }
    return image;
}

class FloorVideo : public QWidget {
public:
    FloorVideo(QRect pictureAt, QWidget* parent) : QWidget(parent), m_at(pictureAt) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        m_pictures[0] = makePicture(pictureAt.size(), 0);
        m_pictures[1] = makePicture(pictureAt.size(), 8);
    }
    void present() {
        m_which ^= 1;
        update(m_at);
    }
    int painted = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRect r = event->rect().intersected(m_at);
        painter.drawImage(r.topLeft(), m_pictures[m_which], r.translated(-m_at.topLeft()));
        for (const QRect& o : QRegion(event->rect()).subtracted(QRegion(m_at)))
            painter.fillRect(o, Qt::black);
        ++painted;
    }

private:
    QRect m_at;
    QImage m_pictures[2];
    int m_which = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QRect view(574, 80, 1327, 712), picture(30, 0, 1265, 712);
    int fps = 30;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--view")
            view = parseRect(args[i + 1], view);
        else if (args[i] == "--picture")
            picture = parseRect(args[i + 1], picture);
        else if (args[i] == "--fps")
            fps = args[i + 1].toInt();
    }
    QWidget window;
    window.setWindowTitle("LiveFloorWindow");
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.setGeometry(0, 0, 1920, 1080);
    auto* area = new QWidget(&window);
    area->setGeometry(view);
    auto* video = new FloorVideo(picture, area);
    video->setGeometry(QRect(QPoint(0, 0), view.size()));
    video->lower();
    window.show();

    QElapsedTimer clock;
    clock.start();
    double start = 0, lastTick = -1, longestGap = 0, cpuAtStart = threadCpuMs();
    int ticks = 0, paintedAtStart = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1000 / std::max(1, fps));
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double t = clock.nsecsElapsed() / 1e6;
        if (lastTick >= 0)
            longestGap = std::max(longestGap, t - lastTick);
        lastTick = t;
        ++ticks;
        video->present();
        if (t - start >= 1000) {
            const double cpu = threadCpuMs();
            std::fprintf(stderr,
                         "loop: %.0f ms passes %d longest_gap_ms %.1f work_wall_ms %.1f work_cpu_ms %.1f shown %d"
                         " nested 0 picture %dx%d\n",
                         t - start, ticks, longestGap, cpu - cpuAtStart, cpu - cpuAtStart,
                         video->painted - paintedAtStart, picture.width(), picture.height());
            start = t;
            cpuAtStart = cpu;
            paintedAtStart = video->painted;
            ticks = 0;
            longestGap = 0;
        }
    });
    tick.start();
    return app.exec();
}
