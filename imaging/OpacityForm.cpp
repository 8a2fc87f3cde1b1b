#include "imaging/OpacityForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/PictureSizeLimit.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

OpacityForm::OpacityForm(QWidget* parent) : QWidget(parent) {
    setObjectName("OpacityForm");
    resize(400, 300);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    labImg = new QLabel(this);
    labImg->setObjectName("labImg");
    labImg->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // A background from a style sheet of the view area would make the label
    // opaque and hide the picture it lies over.
    labImg->setStyleSheet("background:transparent;");
    layout->addWidget(labImg);
    labImg->hide();
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(setOverlayImageSIGNAL(QString, int)), this, SLOT(setOverlayImageSLOT(QString, int)));
    connect(hub, SIGNAL(setOverlayOpacitySIGNAL(int)), this, SLOT(setOverlayOpacitySLOT(int)));
    connect(hub, SIGNAL(clearOverlayImageSIGNAL()), this, SLOT(clearOverlayImageSLOT()));
}

OpacityForm::~OpacityForm() = default;

int OpacityForm::alphaOf(int opacity) { return int(float(opacity) / 100.0f * 255.0f) & 0xff; }

void OpacityForm::setAlpha(int opacity) {
    const uchar a = uchar(alphaOf(opacity));
    for (int y = 0; y < overlayImage.height(); ++y) {
        uchar* p = overlayImage.scanLine(y);
        for (int x = 0; x < overlayImage.width(); ++x)
            p[4 * x + 3] = a;
    }
}

void OpacityForm::setOverlayImageSLOT(QString path, int opacity) {
    // Decoded from the file its checks looked at: never a FIFO put at the
    // name since.
    overlayImage = PictureSizeLimit::openPicture(path).convertToFormat(QImage::Format_RGBA8888);
    setAlpha(opacity);
    labImg->show();
    refresh();
}

void OpacityForm::setOverlayOpacitySLOT(int opacity) {
    if (overlayImage.height() > 0)
        setAlpha(opacity);
    labImg->show();
    refresh();
}

void OpacityForm::clearOverlayImageSLOT() { labImg->hide(); }

void OpacityForm::refresh() {
    if (overlayImage.isNull()) {
        labImg->setPixmap(QPixmap());
        return;
    }
    labImg->setPixmap(QPixmap::fromImage(
        overlayImage.scaled(width(), height(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void OpacityForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!labImg->isHidden())
        refresh();
}
