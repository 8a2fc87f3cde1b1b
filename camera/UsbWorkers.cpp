#include "camera/UsbWorkers.h"

#include "app/hub/MessagePassing.h"
#include "camera/SnapshotFiles.h"
#include "camera/ThreaSaveImg.h"
#include "camera/ThreadAVPacket.h"
#include "camera/ThreadVideo.h"
#include "camera/UVCCamera.h"
#include "platform/MemoryRefusal.h"

#include <memory>
#include <mutex>

namespace {

std::mutex& deliveryMutex() {
    static std::mutex m;
    return m;
}

UsbWorkers::FocusDelivery& deliverySlot() {
    static UsbWorkers::FocusDelivery delivery;
    return delivery;
}

UsbWorkers::FocusDelivery focusDelivery() {
    std::lock_guard<std::mutex> lock(deliveryMutex());
    return deliverySlot();
}

class DecoderAdapter : public UsbFrameDecoder {
public:
    bool init(int width, int height, int pixelFormat) { return m_d.initDecoder(width, height, pixelFormat); }
    ~DecoderAdapter() override { m_d.wait(3000); }
    bool isBusy() const override { return !m_d.isReusable(); }
    bool decode(const RawFrame& frame, Completion done) override {
        return m_d.pushPacket(frame.constBytes(), frame.bytes,
                       [done](const uint8_t* rgb, int width, int height, bool& used) {
                           done(rgb, width, height);
                           used = true;
                       });
    }
    bool waitIdle(int ms) override { return m_d.wait(ms); }
    void cancel() override { m_d.cancel(); }

private:
    ThreadAVPacket m_d;
};

class SaverAdapter : public UsbSnapshotSaver {
public:
    ~SaverAdapter() override { m_s.wait(5000); }
    // Its thread runs. A job whose picture never came (a bad frame) is given
    // back when the next job is taken.
    bool isBusy() const override { return m_s.isRunning(); }
    void setParams(const QString& path, int mode, bool saveDirect, bool timeStamp, const QColor& colour,
                   int position, int sizeIndex, const QString& className) override {
        if (!m_s.isIdle() && !m_s.isRunning())
            m_s.release();
        BaseCamera* cam = MessagePassing::instance()->currentCamera();
        m_s.setParams(path, mode, saveDirect, timeStamp, colour, position, sizeIndex, className,
                      cam && cam->supportFastMode());
    }
    void setFocusConsumer(ThreadJingShenHigh* consumer) override {
        UsbWorkers::FocusDelivery deliver = focusDelivery();
        if (!consumer || !deliver) {
            m_s.setFocusStackConsumer({});
            return;
        }
        m_s.setFocusStackConsumer(
            [consumer, deliver](const uint8_t* rgb, int width, int height) { deliver(consumer, rgb, width, height); });
    }
    QImage* imageBuffer(int width, int height, int channels) override {
        return m_s.imageBuffer(width, height, channels);
    }
    void startSave() override {
        if (!MemoryRefusal::start(m_s))
            m_s.refused();
    }
    void refused() override { m_s.refused(); }
    void releasePictures() override { m_s.releasePool(); }
    bool waitIdle(int ms) override { return m_s.wait(ms); }

private:
    ThreaSaveImg m_s;
};

// ThreadVideo's own destructor stops, drains and finishes the file.
class RecorderAdapter : public UsbRecorder {
public:
    RecorderAdapter() {
        // A full disk ends the recording: the capture bar must say so too.
        QObject::connect(&m_v, &ThreadVideo::endedByItself, MessagePassing::instance(),
                         [] { SnapshotFiles::endCaptureOfFailedRecording(); });
    }
    int state() const override { return m_v.state(); }
    bool startRecord(const QString& path, const UsbRecordSettings& s) override {
        return m_v.startRecord(path, s.inWidth, s.inHeight, s.inCodec, s.inPixelFormat, s.fps, s.outWidth,
                               s.outHeight, s.keepEvery, s.cameraFps);
    }
    void pushFrame(const RawFrame& frame) override {
        m_v.countFramesMissed(frame.missedBefore);
        // The ring never writes a handed-over buffer again: kept, not copied.
        m_v.pushFrame(frame.data, frame.bytes, frame.width, frame.height, frame.captureMs);
    }
    void stopRecord() override { m_v.stopRecord(); }

private:
    ThreadVideo m_v;
};

} // namespace

void UsbWorkers::install() {
    UsbWorkerFactory f;
    f.decoder = [](int width, int height, int pixelFormat) -> std::unique_ptr<UsbFrameDecoder> {
        auto d = std::make_unique<DecoderAdapter>();
        if (!d->init(width, height, pixelFormat))
            return nullptr;
        return d;
    };
    f.saver = [] { return std::make_unique<SaverAdapter>(); };
    f.recorder = [] { return std::make_unique<RecorderAdapter>(); };
    UVCCamera::setWorkerFactory(f);
}

void UsbWorkers::setFocusDelivery(FocusDelivery delivery) {
    std::lock_guard<std::mutex> lock(deliveryMutex());
    deliverySlot() = std::move(delivery);
}
