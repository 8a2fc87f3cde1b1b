#include "imaging/FrameFormMINI.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/ThreadAVPacket.h"
#include "camera/VideoFeeds.h"
#include "platform/MemoryRefusal.h"

#include <QPainter>
#include <QTimer>

namespace {
// The raw ring of the current camera when it is a USB camera.
UsbVideoFeed* usbFeed() { return dynamic_cast<UsbVideoFeed*>(MessagePassing::instance()->currentCamera()); }
} // namespace

FrameFormMINI::FrameFormMINI(QWidget* parent) : QWidget(parent) {
    setObjectName("FrameFormMINI");
    connect(this, SIGNAL(renewDataFinishSIGNAL()), this, SLOT(renewDataFinishSLOT()), Qt::QueuedConnection);
    renewTimer = new QTimer(this);
    renewTimer->setInterval(80);
    connect(renewTimer, SIGNAL(timeout()), this, SLOT(renewData()));
    renewTimer->start();
}

FrameFormMINI::~FrameFormMINI() {
    renewTimer->stop();
    if (decoder)
        decoder->wait(); // a child: it goes with the form, after its job
}

void FrameFormMINI::renewData() {
    if (isRenewing)
        return;
    UsbVideoFeed* feed = usbFeed();
    if (!feed || feed->ringSize() <= 0)
        return;
    int i = feed->ringIndex() - 1;
    if (i < 0)
        i = feed->ringSize() - 1;
    const uint8_t* data = nullptr;
    int bytes = 0, width = 0, height = 0;
    if (!feed->ringFrame(i, data, bytes, width, height) || !data || width <= 0 || height <= 0)
        return;
    if (decoder && !decoder->isRunning() && (decoder->width() != width || decoder->height() != height)) {
        // A new resolution: the decoder and its converter were set up for the old one.
        delete decoder;
        decoder = nullptr;
    }
    if (!decoder) {
        decoder = new ThreadAVPacket(this);
        decoder->initDecoder(width, height, feed->feedPixelFormat());
        connect(decoder, SIGNAL(finished()), this, SLOT(finishSLOT()));
    }
    if (decoder->isRunning())
        return;
    // pushPacket works on its own copy: the ring may be refilled at once.
    // Where the system refuses the memory for that copy (stitching beside
    // it may have taken what there was), this picture is skipped.
    isRenewing = false;
    MemoryRefusal::within([&] {
        isRenewing = decoder->pushPacket(data, bytes, [this](const uint8_t* rgb, int w, int h, bool& used) {
            used = true;
            QImage copy(rgb, w, h, w * 3, QImage::Format_RGB888);
            copy = copy.copy();
            std::lock_guard<std::mutex> lock(frameMutex);
            if (stopFlag)
                return;
            frame = copy;
            emit renewDataFinishSIGNAL();
        });
    });
}

void FrameFormMINI::renewDataFinishSLOT() { update(); }

void FrameFormMINI::finishSLOT() {
    isRenewing = false;
    if (isStopped)
        deleteLater();
}

void FrameFormMINI::stopRenew() {
    disconnect(this, SIGNAL(renewDataFinishSIGNAL()), this, SLOT(renewDataFinishSLOT()));
    renewTimer->stop();
    isStopped = true;
    {
        std::lock_guard<std::mutex> lock(frameMutex);
        stopFlag = true;
    }
    if (!isRenewing)
        deleteLater();
}

QImage FrameFormMINI::picture() const {
    std::lock_guard<std::mutex> lock(frameMutex);
    return frame;
}

void FrameFormMINI::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event)
    if (!usbFeed())
        return;
    const QImage shown = picture();
    if (shown.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, shown.scaled(width(), height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}
