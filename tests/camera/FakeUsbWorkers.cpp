#include "FakeUsbWorkers.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace {

// The picture of a raw frame, decoded by OpenCV.
cv::Mat decodeToRgb(const RawFrame& f) {
    cv::Mat rgb;
    auto* data = const_cast<uint8_t*>(f.constBytes());
    if (f.pixelFormat == PixFmtNV12 && f.bytes * 2 == f.width * f.height * 3)
        cv::cvtColor(cv::Mat(f.height * 3 / 2, f.width, CV_8UC1, data), rgb, cv::COLOR_YUV2RGB_NV12);
    else if (f.pixelFormat == PixFmtYUYV && f.bytes == f.width * f.height * 2)
        cv::cvtColor(cv::Mat(f.height, f.width, CV_8UC2, data), rgb, cv::COLOR_YUV2RGB_YUYV);
    else if (f.pixelFormat == PixFmtMJPG) {
        cv::Mat bgr = cv::imdecode(cv::Mat(1, f.bytes, CV_8UC1, data), cv::IMREAD_COLOR);
        if (!bgr.empty())
            cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    }
    return rgb;
}

class FakeDecoder;
class FakeSaver;
class FakeRecorder;

} // namespace

struct FakeUsbWorkers::Impl {
    FakeUsbWorkers* owner;
    std::vector<FakeDecoder*> decoders;
    std::vector<FakeSaver*> savers;
    std::vector<FakeRecorder*> recorders;
};

namespace {

class FakeDecoder : public UsbFrameDecoder {
public:
    explicit FakeDecoder(FakeUsbWorkers* w) : m_w(w) { m_w->impl->decoders.push_back(this); }
    ~FakeDecoder() override { erase(m_w->impl->decoders, this); }
    bool isBusy() const override { return m_busy; }
    bool decode(const RawFrame& frame, Completion done) override {
        if (m_w->refuseDecodes)
            return false;
        ++m_w->decodeJobs;
        m_w->decodeInputs.append(frame);
        m_w->decodeInputCopies.append(QByteArray(frame.data.constData(), frame.bytes));
        m_frame = frame;
        m_done = std::move(done);
        m_busy = true;
        if (!m_w->holdDecodes)
            finish();
        return true;
    }
    bool waitIdle(int) override { return !m_busy; }
    void cancel() override {
        if (!m_busy)
            return;
        ++m_w->cancelledDecodes;
        m_frame = RawFrame();
        m_done = nullptr;
        m_busy = false;
    }
    void finish() {
        if (!m_busy)
            return;
        if (!m_w->failDecodes) {
            const cv::Mat rgb = decodeToRgb(m_frame);
            if (!rgb.empty())
                m_done(rgb.data, rgb.cols, rgb.rows);
        }
        m_frame = RawFrame();
        m_done = nullptr;
        m_busy = false;
    }
    template <class T> static void erase(std::vector<T*>& v, T* p) { v.erase(std::remove(v.begin(), v.end(), p), v.end()); }

private:
    FakeUsbWorkers* m_w;
    RawFrame m_frame;
    Completion m_done;
    bool m_busy = false;
};

class FakeSaver : public UsbSnapshotSaver {
public:
    explicit FakeSaver(FakeUsbWorkers* w) : m_w(w) { m_w->impl->savers.push_back(this); }
    ~FakeSaver() override { FakeDecoder::erase(m_w->impl->savers, this); }
    bool isBusy() const override { return m_busy; }
    void setParams(const QString& path, int mode, bool, bool, const QColor&, int, int,
                   const QString& className) override {
        m_job = FakeUsbWorkers::Saved{path, mode, QImage(), className, nullptr};
    }
    void setFocusConsumer(ThreadJingShenHigh* consumer) override { m_job.consumer = consumer; }
    QImage* imageBuffer(int width, int height, int channels) override {
        m_image = QImage(width, height, channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        return &m_image;
    }
    void startSave() override {
        m_job.image = m_image.copy();
        m_w->saved.append(m_job);
        m_busy = m_w->holdSaves;
    }
    void refused() override {
        m_w->refused.append(m_job);
        m_busy = false;
    }
    void release() { m_busy = false; }

private:
    FakeUsbWorkers* m_w;
    FakeUsbWorkers::Saved m_job;
    QImage m_image;
    bool m_busy = false;
};

class FakeRecorder : public UsbRecorder {
public:
    explicit FakeRecorder(FakeUsbWorkers* w) : m_w(w) { m_w->impl->recorders.push_back(this); }
    ~FakeRecorder() override { FakeDecoder::erase(m_w->impl->recorders, this); }
    int state() const override { return m_state; }
    bool startRecord(const QString&, const UsbRecordSettings& s) override {
        if (m_state != Idle)
            return false;
        m_w->recordings.append(s);
        m_state = Recording;
        return true;
    }
    void pushFrame(const RawFrame& frame) override {
        m_w->recorded.append(frame);
        m_w->recordedCopies.append(QByteArray(frame.data.constData(), frame.bytes));
    }
    void stopRecord() override { m_state = m_w->recorderStopsAtOnce ? Finished : Stopping; }
    void finish() {
        if (m_state == Stopping)
            m_state = Finished;
    }

private:
    FakeUsbWorkers* m_w;
    int m_state = Idle;
};

} // namespace

FakeUsbWorkers::FakeUsbWorkers() : impl(new Impl{this, {}, {}, {}}) {
    UsbWorkerFactory f;
    f.decoder = [this](int, int, int) {
        ++decodersMade;
        return std::unique_ptr<UsbFrameDecoder>(new FakeDecoder(this));
    };
    f.saver = [this] {
        ++saversMade;
        return std::unique_ptr<UsbSnapshotSaver>(new FakeSaver(this));
    };
    f.recorder = [this] { return std::unique_ptr<UsbRecorder>(new FakeRecorder(this)); };
    UVCCamera::setWorkerFactory(f);
}

FakeUsbWorkers::~FakeUsbWorkers() {
    UVCCamera::setWorkerFactory(UsbWorkerFactory());
    delete impl;
}

void FakeUsbWorkers::releaseDecodes() {
    const auto decoders = impl->decoders;
    for (FakeDecoder* d : decoders)
        d->finish();
}

void FakeUsbWorkers::releaseSaves() {
    for (FakeSaver* s : impl->savers)
        s->release();
}

void FakeUsbWorkers::finishRecorders() {
    for (FakeRecorder* r : impl->recorders)
        r->finish();
}
