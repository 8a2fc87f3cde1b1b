// Build-time tool: renders the icon drawings to PNG.
// Usage: iconrender <svg dir> <out dir> <manifest>; each manifest line is
// "file.svg;relative/out.png;width;height".
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: iconrender <svg dir> <out dir> <manifest>\n");
        return 2;
    }
    const QString svgDir = QString::fromLocal8Bit(argv[1]);
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QFile manifest(QString::fromLocal8Bit(argv[3]));
    if (!manifest.open(QIODevice::ReadOnly))
        return 1;
    QTextStream in(&manifest);
    int count = 0;
    while (!in.atEnd()) {
        const QStringList f = in.readLine().trimmed().split(';');
        if (f.size() != 4)
            continue;
        QSvgRenderer renderer(svgDir + "/" + f[0]);
        if (!renderer.isValid()) {
            std::fprintf(stderr, "iconrender: cannot read %s\n", qPrintable(f[0]));
            return 1;
        }
        QImage img(f[2].toInt(), f[3].toInt(), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p);
        p.end();
        const QString out = outDir + "/" + f[1];
        QDir().mkpath(QFileInfo(out).path());
        if (!img.save(out, "PNG")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(out));
            return 1;
        }
        ++count;
    }
    std::printf("iconrender: %d icons\n", count);
    return 0;
}
