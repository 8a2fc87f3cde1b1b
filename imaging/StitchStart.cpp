#include "imaging/StitchStart.h"

#include "imaging/StitchFeatherMask.h"
#include "imaging/StitchMosaic.h"

#include <QColor>
#include <QPainter>

#include <algorithm>

void StitchStart::build() {
    first = frame;
    mosaic = StitchMosaic::startingMosaic(first, side);

    view = picture(mosaic, viewFormat);

    if (!maskFrame.isEmpty())
        featherMasks(maskFrame, maskAxes, &maskFull, &maskHalf);
    markers.clear();
    if (!markerSize.isEmpty())
        for (int i = 0; i < 3; ++i)
            markers.append(markerPicture(i, markerSize, markerDir));
}

QImage StitchStart::picture(const cv::Mat& mosaic, QImage::Format format) {
    if (mosaic.empty() || mosaic.type() != CV_8UC3)
        return QImage();
    const QImage wrapped(mosaic.data, mosaic.cols, mosaic.rows, int(mosaic.step), QImage::Format_RGB888);
    return format == wrapped.format() ? wrapped.copy() : wrapped.convertToFormat(format);
}

void StitchStart::featherMasks(QSize frame, QSize axes, cv::Mat* full, cv::Mat* half) {
    *full = buildStitchFeatherMask(frame.width(), frame.height(), axes.width(), axes.height());
    *half = halveStitchFeatherMask(*full);
}

QImage StitchStart::markerPicture(int index, QSize size, const QString& dir) {
    static const char* const files[3] = {"green.png", "yellow.png", "red.png"};
    static const QColor colours[3] = {QColor(0, 200, 0), QColor(230, 200, 0), QColor(220, 0, 0)};
    const int i = std::clamp(index, 0, 2);
    const QImage file(dir + "/" + files[i]);
    if (!file.isNull())
        return file.convertToFormat(file.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32)
            .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage p(size, QImage::Format_ARGB32_Premultiplied);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    QColor fill = colours[i];
    fill.setAlpha(40);
    painter.fillRect(p.rect(), fill);
    painter.setPen(QPen(colours[i], std::max(4, size.width() / 120)));
    painter.drawRect(p.rect().adjusted(2, 2, -3, -3));
    return p;
}
