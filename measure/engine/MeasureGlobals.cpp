#include "measure/engine/MeasureGlobals.h"

#include "app/hub/SharedConstants.h"
#include "measure/engine/OzaMeasureSys.h"

float imageWidth = 1920.0f;
float imageHeight = 1080.0f;
float viewWidth = 1920.0f;
float viewHeight = 1080.0f;
MeasureView* measureView = nullptr;
std::function<QString()> textInputCallback;
OzaMeasureSys* measureSys = nullptr;
int labelBoxWidth = 0;
int labelBoxHeight = 0;
int labelStyle = 0;
bool snapMode = false;
int snapDistance = 0;
const QString measureFontFamily = QStringLiteral("FZLanTingHeiS-R-GB");

QPointF ViewToImage(const QPointF& view) {
    // Double throughout, product before quotient: a click lands on the
    // nearest double to the exact image position of the clicked pixel.
    const double x = view.x() * double(imageWidth) / double(viewWidth);
    const double y = double(imageHeight) - view.y() * double(imageHeight) / double(viewHeight);
    return QPointF(x, y);
}

QPoint ImageToViewDirect(const QPointF& image) {
    const float x = float(image.x()) / imageWidth * viewWidth + 0.5f;
    const float y = viewHeight - float(image.y()) / imageHeight * viewHeight + 0.5f;
    return QPoint(int(x), int(y));
}

static bool anyActiveSystem() {
    for (OzaMeasureSys* sys : measureSystems)
        if (sys && sys->isActive())
            return true;
    return false;
}

QPoint ImageToView(const QPointF& image) {
    if (!anyActiveSystem())
        return QPoint(0, 0);
    return ImageToViewDirect(image);
}

QRect ImageRectToView(const QRect& image) {
    const QPoint corner = ImageToView(QPointF(image.topLeft()));
    return QRect(corner, image.size());
}

QPoint ImageToViewI(const QPoint& image) {
    const float x = float(image.x()) / imageWidth * viewWidth + 0.5f;
    const float y = float(image.y()) / imageHeight * viewHeight + 0.5f;
    return QPoint(int(x), int(y));
}

QPointF FlipImageY(const QPointF& image) {
    return QPointF(image.x(), imageHeight - image.y());
}

float ViewToImageLength(int view) {
    if (view < 1)
        return 0.0f;
    return float(view) / viewWidth * imageWidth;
}
