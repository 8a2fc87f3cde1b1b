#include "camera/ThreadVideo.h"

#include "camera/SnapshotFiles.h"

#include "camera/FrameScaler.h"
#include "platform/FrameTicks.h"
#include "platform/MemoryRefusal.h"

#include <QFile>
#include <QStorageInfo>
#include <QStringList>
#include <QtDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString avErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

// Our own file output: every write goes fully to the file or fails (FFmpeg's
// file protocol accepts a short write as success), so after an error the file
// can be cut back to the end of the last complete write.
int writeAll(void* opaque, uint8_t* buf, int size) {
    const int fd = *static_cast<int*>(opaque);
    int left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, buf, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return AVERROR(errno);
        }
        buf += n;
        left -= int(n);
    }
    return size;
}

int64_t seekFile(void* opaque, int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st;
        return fstat(fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
    }
    const off_t r = lseek(fd, offset, whence & ~AVSEEK_FORCE);
    return r < 0 ? AVERROR(errno) : int64_t(r);
}

constexpr int kIoBufferBytes = 1 << 20;
constexpr qint64 kQueueBytes = qint64(64) << 20;
// Encoder threads that each take a band of the same picture: enough for a
// full-HD picture in real time, few enough to leave cores to the live path.
int encoderThreads() { return qBound(1, QThread::idealThreadCount() / 2, 4); }

// Frames per second the driver says a file will hold: every keepEvery-th
// frame of the camera's, and never more than the file's rate (0: unknown).
double statedHeldRate(int fps, int keepEvery, double cameraFps) {
    if (!(cameraFps > 0))
        return 0;
    return std::min<double>(fps, cameraFps / keepEvery);
}

// Whole seconds between key frames: the number whose groups come nearest 50
// frames at `rate` (the shorter on a tie). A group that spans a part of a
// second leaves that second with the key frame's extra bits and the next with
// the saving that pays for them.
int keyFrameSeconds(double rate) {
    return qMax(1, int(std::ceil(50.0 / rate - 0.5)));
}

// The stamp from which the next group starts after a key frame at `stamp`:
// the next whole multiple of `keyUnits` of the file's time.
int64_t nextKeyStamp(int64_t stamp, int64_t keyUnits) {
    return (stamp / keyUnits + 1) * keyUnits;
}

// A measured rate as the camera's own: the nearest whole number, or a
// fraction of twelfths at most (7.5, 3.5, 7/3), or a whole number over
// 1.001 (29.97), when one lies within 1.5 %; the measure itself otherwise.
double cameraRate(double measured) {
    for (int q = 1; q <= 12; ++q) {
        const double p = std::round(measured * q);
        if (p > 0 && std::abs(p / q - measured) <= measured * 0.015)
            return p / q;
    }
    const double ntsc = std::round(measured * 1.001);
    if (std::abs(ntsc / 1.001 - measured) <= measured * 0.015)
        return ntsc / 1.001;
    return measured;
}

// The rate of `times` (capture ms, oldest first) when they came steadily:
// no step between them 30 % away from the middle one (a stall, a pause,
// frames read late in a burst, a rate change within them), else 0.
double steadyRate(const std::deque<int64_t>& times) {
    if (times.size() < 3)
        return 0;
    std::vector<int64_t> steps;
    for (size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    std::vector<int64_t> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = double(sorted[sorted.size() / 2]);
    if (median <= 0)
        return 0;
    for (const int64_t step : steps)
        if (step > median * 1.3 || step < median * 0.7)
            return 0;
    const int64_t span = times.back() - times.front();
    return span > 0 ? double(times.size() - 1) * 1000.0 / double(span) : 0;
}

// Whether every step of `steps` (ms) is a whole number of intervals of a
// camera the driver says sends `stated` frames a second, two or more in
// some: a reader slower than the camera, whose driver dropped the frames
// between, shows that, not a slower camera.
bool skipsStatedTicks(const std::vector<int64_t>& steps, double stated) {
    const std::vector<int64_t> ticks = FrameTicks::whole(steps, 1000.0 / stated);
    return !ticks.empty() && *std::max_element(ticks.begin(), ticks.end()) >= 2;
}

// Whether the steps of `steps` (ms) are whole numbers of such intervals,
// not all the same one (four, five, four ...): a reader taking what it can
// of a camera at the stated rate. A slower camera's frames come a like
// number of its driver's intervals apart.
bool unevenStatedTicks(const std::vector<int64_t>& steps, double stated) {
    const std::vector<int64_t> ticks = FrameTicks::whole(steps, 1000.0 / stated);
    return std::adjacent_find(ticks.begin(), ticks.end(), std::not_equal_to<int64_t>()) != ticks.end();
}

} // namespace

ThreadVideo::ThreadVideo(QObject* parent) : QThread(parent) {}

ThreadVideo::~ThreadVideo() {
    if (isRunning()) {
        stopRecord();
        if (!wait(3000)) {
            // Still encoding a backlog: give up the queue, but finish the file.
            std::unique_lock<std::mutex> lock(m_mutex);
            m_abort = true;
            m_frameReady.notify_all();
        }
        wait();
    }
    { std::lock_guard<std::mutex> lock(m_mutex); } // see the end of run()
    releaseFFmpeg();
}

void ThreadVideo::setQueueCapacity(int frames) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_state.load() == StateIdle)
        m_capacity = qMax(1, frames);
}

int ThreadVideo::queueCapacity() const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_capacity;
}

int ThreadVideo::pendingFrames() const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return int(m_queue.size()) + m_reserved + (m_working ? 1 : 0);
}

QString ThreadVideo::lastError() const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_error;
}

void ThreadVideo::setError(const QString& text) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_error.isEmpty())
        m_error = text;
    qWarning().noquote() << "Recording" << m_path << ":" << text;
}

int ThreadVideo::rawFrameBytes(int width, int height) const {
    return av_image_get_buffer_size(AVPixelFormat(m_inPixFmt), width, height, 1);
}

bool ThreadVideo::startRecord(QString path, int inWidth, int inHeight, int inCodecId, int inPixFmt, int fps,
                              int outWidth, int outHeight, int keepEvery, double cameraFps) {
    if (m_state.load() != StateIdle) {
        setError("a recording was already started with this recorder");
        return false;
    }
    m_path = path;
    m_inWidth = inWidth;
    m_inHeight = inHeight;
    m_inCodecId = inCodecId;
    m_inPixFmt = inPixFmt;
    m_outWidth = outWidth;
    m_outHeight = outHeight;
    m_keepEvery = keepEvery;
    m_fps = qMax(1, fps);
    m_cameraFps = cameraFps > 0 ? cameraRate(cameraFps) : 0;
    m_statedRate = statedHeldRate(m_fps, qMax(1, keepEvery), m_cameraFps);
    m_keyUnits = keyFrameSeconds(m_statedRate > 0 ? m_statedRate : m_fps) * kTimeBase;

    QString bad;
    if (keepEvery < 1)
        bad = QString("keep-every value %1 (must be at least 1)").arg(keepEvery);
    else if (fps < 1)
        bad = QString("frame rate %1").arg(fps);
    else if (inWidth < 1 || inHeight < 1)
        bad = QString("input size %1 x %2").arg(inWidth).arg(inHeight);
    else if (outWidth < 2 || outHeight < 2 || outWidth % 2 || outHeight % 2)
        bad = QString("output size %1 x %2 (must be even)").arg(outWidth).arg(outHeight);
    else if (inCodecId != AV_CODEC_ID_RAWVIDEO && inCodecId != AV_CODEC_ID_MJPEG)
        bad = QString("input codec %1").arg(inCodecId);
    else if (inCodecId == AV_CODEC_ID_RAWVIDEO && rawFrameBytes(inWidth, inHeight) <= 0)
        bad = QString("input pixel format %1").arg(inPixFmt);
    if (!bad.isEmpty()) {
        setError("invalid recording setting: " + bad);
        m_state = StateFinished;
        return false;
    }

    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_capacity == 0) {
            const qint64 frameBytes =
                qMax<qint64>(1, inCodecId == AV_CODEC_ID_RAWVIDEO ? rawFrameBytes(inWidth, inHeight)
                                                                  : qint64(inWidth) * inHeight / 2);
            // At most half a second of frames waits: what waits is lost
            // when the process dies.
            m_capacity = int(qBound<qint64>(3, qMin<qint64>(kQueueBytes / frameBytes, fps / 2), 16));
        }
        m_nextKeyPts = 0;
        m_heldRate = 0;
        m_lastDuration = 0;
        m_firstCaptureMs = -1;
        m_lastTick = -1;
        m_lastOfferedMs = -1;
        m_untimedQueued = 0;
        m_lossesQueued = -1;
        m_leftOutMs.clear();
        m_lostAfterFailure = 0;
        m_originMs = -1;
        m_lastN = -1;
        m_lastStamp = -1;
        m_pictureTime = 0;
        m_openResult = 0;
    }
    // The encoder is opened on the recording thread, which starts the
    // encoder's own threads; this call waits for the answer.
    if (!MemoryRefusal::start(*this)) {
        setError("no thread for the recording");
        m_state = StateFinished;
        return false;
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_openResult == 0)
            m_opened.wait(lock);
    }
    if (m_openResult < 0) {
        wait();
        m_state = StateFinished;
        return false;
    }
    return true;
}

bool ThreadVideo::openEncoder() {
    const QByteArray file = QFile::encodeName(m_path);
    int r = avformat_alloc_output_context2(&m_out, nullptr, nullptr, file.constData());
    if (r < 0 || !m_out) {
        setError("no container format for this file name");
        return false;
    }
    if (m_out->oformat->flags & AVFMT_NOFILE) {
        setError(QString("\"%1\" is not a video container").arg(m_out->oformat->name));
        return false;
    }

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec) {
        setError("no H.264 encoder");
        return false;
    }
    m_encoder = avcodec_alloc_context3(codec);
    // Stamps on the grid of the rate the file holds, which the first frames
    // show; until then the rate the driver stated, or the file's.
    m_encoder->time_base = AVRational{1, int(kTimeBase)};
    m_encoder->framerate = av_d2q(m_statedRate > 0 ? m_statedRate : m_fps, 100000);
    m_encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    m_encoder->width = m_outWidth;
    m_encoder->height = m_outHeight;
    // A constant 12 Mbit/s: the encoder keeps to it only with a rate ceiling
    // at the same value and a buffer to measure it over; without them it
    // falls back to an average rate well below. The buffer is a third of a
    // second: a key frame may take that much more than its share, and the
    // pictures after it pay it back within the same second. With a second's
    // buffer a still picture looks better (PSNR 56.1 dB against 52.3 at the
    // same bytes) but the second of a key frame carries up to 15 % more and
    // the next one less.
    m_encoder->bit_rate = 12000000;
    m_encoder->rc_max_rate = 12000000;
    m_encoder->rc_min_rate = 12000000;
    m_encoder->rc_buffer_size = 4000000;
    // Nothing held back: a B-frame waits for the picture after it, and
    // threads that each take a whole picture keep several in flight. What
    // the encoder holds is lost when the process dies, and the live picture
    // needs the processor more than the encoder needs a smaller file.
    m_encoder->max_b_frames = 0;
    // Key frames come by the clock (encodePicture), at the rate the file
    // holds then; the encoder's own count only stands behind it, at a minute
    // of the file's rate.
    m_encoder->gop_size = 60 * m_fps;
    m_encoder->thread_type = FF_THREAD_SLICE;
    m_encoder->thread_count = encoderThreads();
    m_encoder->color_range = AVCOL_RANGE_MPEG;
    m_encoder->colorspace = AVCOL_SPC_SMPTE170M;
    if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // No look-ahead (the preset's would hold 40 frames, four seconds at 10
    // frames per second), and a preset that encodes a full-HD picture in a
    // third of the time "medium" takes, at the same constant bit rate.
    // The encoder spends the rate over the time of its pictures (each lasts
    // its step on the held rate's grid, at most two ticks: see
    // encodePicture), not over a frame count at a fixed rate, which a camera
    // slower than that rate would leave short of bits, nor over a stall,
    // whose bits would come as filler in the picture before it.
    av_opt_set(m_encoder->priv_data, "x264opts", "nal-hrd=cbr:force-cfr=0", 0);
    av_opt_set(m_encoder->priv_data, "forced-idr", "1", 0);
    av_opt_set(m_encoder->priv_data, "preset", "veryfast", 0);
    av_opt_set(m_encoder->priv_data, "tune", "zerolatency", 0);
    r = avcodec_open2(m_encoder, codec, nullptr);
    if (r < 0) {
        setError("cannot open the H.264 encoder: " + avErrorText(r));
        return false;
    }

    m_stream = avformat_new_stream(m_out, nullptr);
    if (!m_stream || avcodec_parameters_from_context(m_stream->codecpar, m_encoder) < 0) {
        setError("cannot add the video stream");
        return false;
    }
    m_stream->time_base = m_encoder->time_base;
    m_stream->codecpar->codec_tag = 0;

    // Input side: raw frames are wrapped as they are, JPEG frames decoded.
    m_packet = av_packet_alloc();
    m_held = av_packet_alloc();
    m_decoded = av_frame_alloc();
    m_rawView = av_frame_alloc();
    m_outFrame = av_frame_alloc();
    if (m_inCodecId == AV_CODEC_ID_MJPEG) {
        const AVCodec* dec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
        m_decoder = dec ? avcodec_alloc_context3(dec) : nullptr;
        if (!m_decoder) {
            setError("no MJPEG decoder");
            return false;
        }
        // No size in advance: FFmpeg's MJPEG decoder refuses an image smaller
        // than one given beforehand, and the header says it anyway.
        m_decoder->pix_fmt = AVPixelFormat(m_inPixFmt);
        r = avcodec_open2(m_decoder, dec, nullptr);
        if (r < 0) {
            setError("cannot open the MJPEG decoder: " + avErrorText(r));
            return false;
        }
    }
    m_outFrame->format = AV_PIX_FMT_YUV420P;
    m_outFrame->width = m_outWidth;
    m_outFrame->height = m_outHeight;
    if (av_frame_get_buffer(m_outFrame, 0) < 0) {
        setError("out of memory");
        return false;
    }
    m_scaler = std::make_unique<FrameScaler>(m_outWidth, m_outHeight, AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR);

    // The file, last, so that a failure above leaves nothing on disk. A new
    // file only, at its reserved name and not through a link there (another
    // user's would steer it), with what the folder's default ACL and the
    // umask give a new file.
    m_fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int err = errno;
        setError(QString("cannot create the file: %1").arg(QString::fromLocal8Bit(std::strerror(err))));
        return false;
    }
    auto* ioBuffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    m_io = avio_alloc_context(ioBuffer, kIoBufferBytes, 1, &m_fd, nullptr, writeAll, seekFile);
    if (!m_io) {
        av_free(ioBuffer);
        setError("out of memory");
        QFile::remove(m_path);
        return false;
    }
    m_out->pb = m_io;
    m_out->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;

    AVDictionary* muxOpts = nullptr;
    const QByteArray formatName = m_out->oformat->name;
    m_fragmented = formatName == "mp4" || formatName == "mov" || formatName == "ipod" || formatName == "ismv";
    if (m_fragmented) {
        // Fragments cut by the clock (every kFragmentMs) and flushed at once:
        // no index at the end is needed to play the file, and a killed
        // process loses only what the last interval and the encoder held.
        av_dict_set(&muxOpts, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
    }
    r = avformat_write_header(m_out, &muxOpts);
    av_dict_free(&muxOpts);
    if (r < 0) {
        setError("cannot write the file header: " + avErrorText(r));
        releaseFFmpeg();
        QFile::remove(m_path);
        return false;
    }
    m_goodBytes = avio_tell(m_out->pb);
    return true;
}

bool ThreadVideo::acceptFrame(int& bytes, int& width, int& height) {
    if (m_state.load() != StateRecording || bytes <= 0)
        return false;
    const int number = m_offered.fetch_add(1);
    if (number % m_keepEvery != 0)
        return false;
    width = width > 0 ? width : m_inWidth;
    height = height > 0 ? height : m_inHeight;
    if (m_inCodecId == AV_CODEC_ID_RAWVIDEO) {
        const int need = rawFrameBytes(width, height);
        if (need <= 0 || bytes < need) {
            ++m_bad;
            return false;
        }
        bytes = need;
    }
    return true;
}

bool ThreadVideo::queueFrame(std::unique_ptr<Frame>& frame, int64_t captureMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_stopAsked || m_abort) {
        if (!m_stopByCaller && m_openResult > 0)
            ++m_lostAfterFailure; // writing failed and ended the recording
        return false;
    }
    int64_t tick = m_lastTick + 1;
    if (captureMs >= 0) {
        if (m_firstCaptureMs < 0)
            m_firstCaptureMs = captureMs;
        // The capture time in quarter ticks of the file's rate since its
        // start. A frame less than half a tick after the last kept frame's
        // tick is left out (the camera is faster than the file); any other
        // takes the next free tick, or a later one when it was captured later
        // still, so a camera at the file's rate whose frames are read late
        // now and then loses none.
        const int64_t since = captureMs - m_firstCaptureMs;
        const int64_t quarters = since < 0 ? -1 : since * m_fps * 4 / 1000;
        // The file lasts until the newest frame offered, even when that
        // frame is left out below.
        m_lastOfferedMs = std::max(m_lastOfferedMs, captureMs);
        if (quarters <= m_lastTick * 4 + 1) {
            ++m_overRate;
            // A camera faster than the file leaves out one or two between
            // frames queued; more only where frames come in a burst.
            if (m_leftOutMs.size() < 16)
                m_leftOutMs.push_back(captureMs);
            return false;
        }
        tick = std::max(m_lastTick + 1, (quarters + 1) / 4);
    }
    if (int(m_queue.size()) + m_reserved >= m_capacity) {
        const int dropped = ++m_dropped;
        if (dropped == 1 || dropped % 100 == 0)
            qWarning().noquote() << "Recording" << m_path << ": encoder behind, dropped" << dropped << "frames";
        return false;
    }
    m_lastTick = tick;
    if (captureMs < 0)
        ++m_untimedQueued;
    if (!m_spare.empty()) {
        frame = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        frame = std::make_unique<Frame>();
    }
    frame->captureMs = captureMs;
    const int losses = m_missed.load() + m_dropped.load();
    frame->afterLoss = m_lossesQueued >= 0 && losses != m_lossesQueued;
    m_lossesQueued = losses;
    frame->leftOutBefore.swap(m_leftOutMs);
    m_leftOutMs.clear();
    ++m_reserved;
    return true;
}

bool ThreadVideo::pushFrame(const uint8_t* data, int bytes, int width, int height, int64_t captureMs) {
    if (!data || !acceptFrame(bytes, width, height))
        return false;
    std::unique_ptr<Frame> frame;
    if (!queueFrame(frame, captureMs))
        return false;
    // The copy is made outside the lock: the encoder keeps working meanwhile.
    const size_t need = size_t(bytes) + AV_INPUT_BUFFER_PADDING_SIZE;
    if (frame->data.size() < need)
        frame->data.resize(need);
    std::memcpy(frame->data.data(), data, size_t(bytes));
    std::memset(frame->data.data() + bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    frame->shared = QByteArray();
    commitFrame(frame, bytes, width, height);
    return true;
}

bool ThreadVideo::pushFrame(const QByteArray& data, int bytes, int width, int height, int64_t captureMs) {
    if (data.size() < bytes || !acceptFrame(bytes, width, height))
        return false;
    std::unique_ptr<Frame> frame;
    if (!queueFrame(frame, captureMs))
        return false;
    frame->shared = data;
    commitFrame(frame, bytes, width, height);
    return true;
}

void ThreadVideo::commitFrame(std::unique_ptr<Frame>& frame, int bytes, int width, int height) {
    frame->bytes = bytes;
    frame->width = width;
    frame->height = height;
    std::unique_lock<std::mutex> lock(m_mutex);
    --m_reserved;
    m_queue.push_back(std::move(frame));
    m_frameReady.notify_all();
}

void ThreadVideo::countFramesMissed(int frames) {
    if (frames > 0 && m_state.load() == StateRecording)
        m_missed += frames;
}

int64_t ThreadVideo::monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ThreadVideo::stopRecord() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const int s = m_state.load();
    if (s == StateRecording) {
        m_stopAsked = true;
        m_stopByCaller = true;
        m_state = StateStopping;
        m_frameReady.notify_all();
        m_spaceFree.notify_all();
    } else if (s == StateIdle) {
        m_state = StateFinished;
    }
}

bool ThreadVideo::waitForSpace(unsigned long ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(qMin<unsigned long>(ms, 86400000));
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_state.load() == StateRecording && !m_stopAsked && int(m_queue.size()) + m_reserved >= m_capacity) {
        if (m_spaceFree.wait_until(lock, deadline) == std::cv_status::timeout)
            break;
    }
    return m_state.load() == StateRecording && !m_stopAsked && int(m_queue.size()) + m_reserved < m_capacity;
}

void ThreadVideo::run() {
    const bool opened = openEncoder();
    if (!opened)
        releaseFFmpeg();
    m_lastFlushMs = monotonicMs();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (opened)
            m_state = StateRecording;
        m_openResult = opened ? 1 : -1;
        m_opened.notify_all();
    }
    if (!opened)
        return;
    for (;;) {
        std::unique_ptr<Frame> frame;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // A frame being copied in by pushFrame (reserved) is waited for,
            // so a stop racing the last frame still records it.
            while (!m_abort && m_queue.empty() && (!m_stopAsked || m_reserved > 0))
                m_frameReady.wait(lock);
            if (m_heldRate <= 0)
                chooseFirstRate(lock);
            if (m_abort || m_queue.empty())
                break;
            frame = std::move(m_queue.front());
            m_queue.pop_front();
            m_working = true;
        }
        if (!m_writeFailed)
            encodeQueued(*frame);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_writeFailed)
            ++m_lostAfterFailure;
        m_working = false;
        frame->shared = QByteArray(); // the camera's buffer goes back at once
        m_spare.push_back(std::move(frame));
        if (m_writeFailed && !m_stopAsked) {
            // Nothing more can be written: refuse frames and close the file.
            m_stopAsked = true;
            m_state = StateStopping;
        }
        m_spaceFree.notify_all();
    }
    finish();
    // The thread's last step takes the lock, and so does the destructor: the
    // deletion is then ordered after everything the thread did also for a
    // thread checker, which does not see inside Qt's end of a thread.
    std::lock_guard<std::mutex> lock(m_mutex);
}

void ThreadVideo::chooseFirstRate(std::unique_lock<std::mutex>& lock) {
    // The first frames (five, or what the queue holds) show the camera's
    // rate by their middle step, where they come steadily: the driver's stated rate or the file's
    // where it lies within 3.5 % of that, the camera's own near it
    // otherwise (a driver may state a whole number for 7.5 frames a second,
    // a dim scene lengthens the exposure). A frame read late now and then
    // moves one step, not the middle one.
    const size_t want = size_t(qBound(1, m_capacity, 5));
    auto timed = [&] {
        std::deque<int64_t> times;
        for (const auto& f : m_queue) {
            if (f->captureMs < 0)
                break;
            times.push_back(f->captureMs);
        }
        return times;
    };
    while (!m_abort && !m_stopAsked && m_untimedQueued == 0 && timed().size() < want)
        m_frameReady.wait(lock);
    const std::deque<int64_t> times = timed();
    double rate = m_statedRate > 0 ? m_statedRate : m_fps;
    // The camera's intervals: steps across frames that never reached the
    // recorder are a late reader's.
    std::vector<int64_t> steps;
    for (size_t i = 1; i < times.size(); ++i)
        if (!m_queue[i]->afterLoss)
            steps.push_back(times[i] - times[i - 1]);
    if (!steps.empty() && m_untimedQueued == 0) {
        std::sort(steps.begin(), steps.end());
        const int64_t middle = steps.size() % 2 ? 2 * steps[steps.size() / 2]
                                                : steps[steps.size() / 2 - 1] + steps[steps.size() / 2];
        const double measured = middle > 0 ? 2000.0 / double(middle) : m_fps;
        auto near = [&](double r) { return r > 0 && std::abs(measured - r) <= r * 0.035; };
        // Frames that come unevenly (a busy machine's late reads) show no
        // rate of their own: the stated one or the file's holds, on whose
        // grid they skip ticks but never share one.
        const bool steady = steps.front() * 20 >= middle * 7 && steps.back() * 20 <= middle * 13;
        // Frames the driver dropped between them: the stated rate holds.
        // The steps are whole numbers of the camera's own ticks, which for
        // a camera faster than the file need not be whole ones of the
        // file's (one frame in three of 30 a second: 1.5 ticks of 15).
        if (!steady || near(m_statedRate) || skipsStatedTicks(steps, m_statedRate) ||
            skipsStatedTicks(steps, m_cameraFps))
            ; // the stated rate, or the file's
        else if (measured >= m_fps || near(m_fps))
            rate = m_fps;
        else
            rate = cameraRate(measured);
    }
    setHeldRate(rate);
    m_nextKeyPts = 0;
    qInfo().noquote() << QString("Recording %1: the camera is said to send %2 frames a second (keeping every %3), "
                                 "the file holds %4")
                             .arg(m_path)
                             .arg(m_cameraFps)
                             .arg(m_keepEvery)
                             .arg(m_heldRate);
}

void ThreadVideo::setHeldRate(double rate) {
    m_heldRate = rate;
    m_tickUnits = std::max<int64_t>(1, std::llround(kTimeBase / rate));
    m_keyUnits = keyFrameSeconds(rate) * kTimeBase;
}

void ThreadVideo::followRate(int64_t captureMs, bool afterLoss) {
    // The rate of the frames of about the last second and a half (five at
    // least), when they came steadily: a camera whose rate moved by more
    // than 7 % to one rate, measured so three frames in a row, gets a new
    // grid from the last frame on, and key frames at the new rate. Frames
    // that never reached the recorder start the measure over: a reader that
    // fell behind shows its own pace, not the camera's.
    if (afterLoss)
        m_recentMs.clear();
    m_recentMs.push_back(captureMs);
    while (m_recentMs.size() > 5 && captureMs - m_recentMs[1] >= 1500)
        m_recentMs.pop_front();
    if (m_recentMs.size() < 5 || captureMs - m_recentMs.front() < 1000)
        return;
    // Whole numbers of the stated interval, not all the same (four, five,
    // four ...): a capture thread taking what it can of a camera at its
    // stated rate, never a rate of its own, however even (267 and 333 ms in
    // turn from a 15/s camera made the file follow 3.25).
    std::vector<int64_t> steps;
    for (size_t i = 1; i < m_recentMs.size(); ++i)
        steps.push_back(m_recentMs[i] - m_recentMs[i - 1]);
    if (unevenStatedTicks(steps, m_cameraFps)) {
        m_rateVotes = 0;
        // So the camera runs at its stated rate after all: a file that
        // followed the reader's earlier steady pace (six ticks at a time,
        // as a slower camera's frames would come) goes back to that rate
        // at once, or it leaves out and delays the frames that now come
        // faster than it holds. Steps that fit the rate held are a slower
        // camera's frames read late, and keep it.
        const double stated = m_statedRate > 0 ? m_statedRate : m_fps;
        if (m_heldRate < stated * 0.93 && m_lastStamp >= 0 && FrameTicks::whole(steps, 1000.0 / m_heldRate).empty())
            moveGrid(stated);
        return;
    }
    const double measured = steadyRate(m_recentMs);
    if (measured <= 0)
        return;
    const double rate = cameraRate(std::min<double>(m_fps, measured));
    if (std::abs(rate - m_heldRate) <= m_heldRate * 0.07) {
        m_rateVotes = 0;
        return;
    }
    if (m_rateVotes > 0 && std::abs(rate - m_votedRate) > m_votedRate * 0.02)
        m_rateVotes = 0;
    m_votedRate = rate;
    if (++m_rateVotes >= 3 && m_lastStamp >= 0)
        moveGrid(rate);
}

void ThreadVideo::moveGrid(double rate) {
    m_rateVotes = 0;
    setHeldRate(rate);
    qInfo().noquote() << QString("Recording %1: from %2 s on the file holds %3 frames a second")
                             .arg(m_path)
                             .arg(double(m_lastStamp) / kTimeBase, 0, 'f', 3)
                             .arg(m_heldRate);
    // From the last frame's tick, at the capture time that tick stands for
    // (not the frame's own, which may lie a part of a tick off it).
    m_originStamp = m_lastStamp;
    m_originMs = m_firstGridMs + (m_lastStamp - m_firstGridStamp) * 1000 / kTimeBase;
    m_lastN = 0;
    m_nextKeyPts = std::min(m_nextKeyPts, nextKeyStamp(m_lastStamp, m_keyUnits));
}

bool ThreadVideo::stampFrame(const Frame& frame, int64_t& stamp) {
    if (frame.captureMs < 0) {
        // No capture time: one tick after the last.
        stamp = m_lastStamp < 0 ? 0 : m_lastStamp + m_tickUnits;
        m_lastStamp = stamp;
        return true;
    }
    if (m_originMs < 0) {
        m_originMs = m_firstGridMs = frame.captureMs;
        m_originStamp = m_firstGridStamp = m_lastStamp < 0 ? 0 : m_lastStamp + m_tickUnits;
        m_lastN = -1;
    }
    // The frames left out before this one are the camera's too: a step
    // across one (a camera starting its frames over at a new exposure, one
    // too soon for the file) is no interval of the camera's, and a window
    // holding it measured a rate it never had (7.33 for 7.5). Where frames
    // were lost besides, the measure starts over at this frame anyway.
    if (!frame.afterLoss)
        for (const int64_t leftOut : frame.leftOutBefore)
            followRate(leftOut, false);
    followRate(frame.captureMs, frame.afterLoss);
    // The capture time in ticks of the held rate since the grid's start: a
    // frame within half a tick after the last one's tick is left out (the
    // camera runs ahead of the rate the file holds: its clock or a late read
    // of the frame before); any other plays on the tick it lies from a
    // quarter tick before to three quarters after, or on the next free one.
    double at = double(frame.captureMs - m_originMs) * m_heldRate / 1000.0;
    if (m_lastN >= 0 && int64_t(std::floor(at + 0.25)) <= m_lastN) {
        // Its tick is taken. Two steps in a row shorter than 0.6 of a tick:
        // the camera got faster (a shorter exposure), up to the file's rate;
        // its new rate takes over at once rather than after a second of
        // frames left out.
        const size_t k = m_recentMs.size();
        const int64_t tickMs = std::llround(1000.0 / m_heldRate);
        const bool faster = m_heldRate < m_fps && k >= 3 && (m_recentMs[k - 1] - m_recentMs[k - 2]) * 10 < tickMs * 6 &&
                            (m_recentMs[k - 2] - m_recentMs[k - 3]) * 10 < tickMs * 6;
        if (faster) {
            const double span = double(std::max<int64_t>(1, m_recentMs[k - 1] - m_recentMs[k - 3]));
            moveGrid(cameraRate(std::min<double>(m_fps, 2000.0 / span)));
            at = double(frame.captureMs - m_originMs) * m_heldRate / 1000.0;
        }
    }
    if (m_lastN >= 0 && at < double(m_lastN) + 0.5)
        return false;
    const int64_t n = std::max<int64_t>(m_lastN + 1, int64_t(std::floor(at + 0.25)));
    m_lastN = n;
    stamp = m_originStamp + std::llround(double(n) * kTimeBase / m_heldRate);
    m_lastStamp = stamp;
    return true;
}

void ThreadVideo::encodeQueued(Frame& frame) {
    int64_t stamp = 0;
    if (!stampFrame(frame, stamp)) {
        ++m_overRate;
        return;
    }
    if (m_inCodecId == AV_CODEC_ID_RAWVIDEO) {
        // Only read: the scaler takes the planes where they are.
        av_image_fill_arrays(m_rawView->data, m_rawView->linesize, const_cast<uint8_t*>(frame.bytesPtr()),
                             AVPixelFormat(m_inPixFmt), frame.width, frame.height, 1);
        m_rawView->width = frame.width;
        m_rawView->height = frame.height;
        m_rawView->format = m_inPixFmt;
        m_rawView->color_range = AVCOL_RANGE_MPEG;
        encodePicture(m_rawView, stamp);
        return;
    }
    uint8_t* jpeg = frame.data.data();
    if (!frame.shared.isNull()) {
        // The decoder reads a little past the end: a padded copy, made here
        // rather than on the camera's thread.
        const size_t need = size_t(frame.bytes) + AV_INPUT_BUFFER_PADDING_SIZE;
        if (m_padded.size() < need)
            m_padded.resize(need);
        std::memcpy(m_padded.data(), frame.shared.constData(), size_t(frame.bytes));
        std::memset(m_padded.data() + frame.bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        jpeg = m_padded.data();
    }
    m_packet->data = jpeg;
    m_packet->size = frame.bytes;
    const int r = avcodec_send_packet(m_decoder, m_packet);
    av_packet_unref(m_packet);
    if (r < 0) {
        ++m_bad;
        return;
    }
    bool any = false;
    while (avcodec_receive_frame(m_decoder, m_decoded) >= 0) {
        any = true;
        const bool ok = encodePicture(m_decoded, stamp);
        av_frame_unref(m_decoded);
        if (!ok)
            return;
    }
    if (!any)
        ++m_bad;
}

bool ThreadVideo::encodePicture(const AVFrame* picture, int64_t stamp) {
    if (av_frame_make_writable(m_outFrame) < 0) {
        ++m_bad;
        return true;
    }
    if (!m_scaler->scale(picture, m_outFrame->data, m_outFrame->linesize)) {
        ++m_bad;
        return true;
    }
    // A second picture from one packet comes just after the first.
    if (!m_stampOfPicture.empty())
        stamp = std::max(stamp, m_stampOfPicture.back().second + 1);
    // The encoder's clock: each picture lasts its step, at most two ticks,
    // so a stall or a pause costs no bits.
    if (!m_stampOfPicture.empty() || m_encoded.load() > 0)
        m_pictureTime += std::max<int64_t>(1, std::min(stamp - m_lastPictureStamp, 2 * m_tickUnits));
    m_lastPictureStamp = stamp;
    m_stampOfPicture.emplace_back(m_pictureTime, stamp);
    m_outFrame->pts = m_pictureTime;
    // A group starts at each whole key interval of the file's time.
    m_outFrame->pict_type = AV_PICTURE_TYPE_NONE;
    if (stamp >= m_nextKeyPts) {
        m_outFrame->pict_type = AV_PICTURE_TYPE_I;
        m_nextKeyPts = nextKeyStamp(stamp, m_keyUnits);
    }
    const int r = avcodec_send_frame(m_encoder, m_outFrame);
    if (r < 0) {
        setError("the encoder refused a frame: " + avErrorText(r));
        ++m_bad;
        return true;
    }
    ++m_encoded;
    return drainEncoder(false);
}

bool ThreadVideo::drainEncoder(bool flush) {
    for (;;) {
        int r = avcodec_receive_packet(m_encoder, m_packet);
        if (r == AVERROR(EAGAIN))
            return true;
        if (r == AVERROR_EOF)
            break;
        if (r < 0) {
            setError("the encoder failed: " + avErrorText(r));
            return !flush;
        }
        // The packet takes its picture's own stamp (no picture is held back
        // or reordered: pictures come out in the order they went in).
        while (!m_stampOfPicture.empty() && m_stampOfPicture.front().first < m_packet->pts)
            m_stampOfPicture.pop_front();
        if (!m_stampOfPicture.empty() && m_stampOfPicture.front().first == m_packet->pts) {
            m_packet->pts = m_packet->dts = m_stampOfPicture.front().second;
            m_stampOfPicture.pop_front();
        }
        // Each picture is written when the next one comes, lasting until it:
        // a fragment's last picture must not end early when the camera left
        // a gap (a slow camera, a dropped frame), or every later fragment
        // would play that much too soon.
        if (m_held->size > 0) {
            m_held->duration = std::max<int64_t>(1, m_packet->pts - m_held->pts);
            m_lastDuration = m_held->duration;
            if (!writeHeld())
                return false;
        }
        av_packet_move_ref(m_held, m_packet);
    }
    // The end: the file lasts until the last frame the camera offered (frames
    // just before the stop may have been left out) has lasted as long as the
    // picture before it (the camera's own spacing; a tick of the rate the
    // file holds at most, where a stall or a slower camera left a wider gap).
    if (m_held->size > 0) {
        int64_t lastOffered = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // At its capture time: the file lasts as long as the camera's
            // frames span, and a picture's more.
            lastOffered = m_originMs >= 0 && m_lastOfferedMs >= 0
                              ? m_firstGridStamp + (m_lastOfferedMs - m_firstGridMs) * kTimeBase / 1000
                              : m_held->pts;
        }
        const int64_t last = std::min<int64_t>(m_lastDuration > 0 ? m_lastDuration : m_tickUnits, m_tickUnits);
        m_held->duration = std::max<int64_t>(1, lastOffered + last - m_held->pts);
        return writeHeld();
    }
    return true;
}

bool ThreadVideo::writeHeld() {
    av_packet_rescale_ts(m_held, m_encoder->time_base, m_stream->time_base);
    m_held->stream_index = m_stream->index;
    int r = av_interleaved_write_frame(m_out, m_held);
    av_packet_unref(m_held);
    ++m_packetsMuxed;
    if (r < 0 || m_out->pb->error < 0) {
        m_writeFailed = true;
        setError("writing the file failed: " + avErrorText(r < 0 ? r : m_out->pb->error));
        return false;
    }
    // The first picture goes to disk at once (a crash right after the click
    // still leaves a file), the rest every kFragmentMs.
    if (m_fragmented && (m_onDisk.load() == 0 || monotonicMs() - m_lastFlushMs >= kFragmentMs)) {
        // Cut a fragment of what was written so far and put it on disk.
        r = av_write_frame(m_out, nullptr);
        avio_flush(m_out->pb);
        m_lastFlushMs = monotonicMs();
        if (r < 0 || m_out->pb->error < 0) {
            m_writeFailed = true;
            setError("writing the file failed: " + avErrorText(r < 0 ? r : m_out->pb->error));
            return false;
        }
    }
    const int64_t size = avio_tell(m_out->pb);
    if (size != m_goodBytes) {
        m_goodBytes = size;
        m_onDisk = m_packetsMuxed;
    }
    return true;
}

void ThreadVideo::finish() {
    if (!m_writeFailed && m_encoder) {
        avcodec_send_frame(m_encoder, nullptr);
        drainEncoder(true);
    }
    if (!m_writeFailed && m_out) {
        const int r = av_write_trailer(m_out);
        if (r < 0 || m_out->pb->error < 0) {
            m_writeFailed = true;
            setError("writing the end of the file failed: " + avErrorText(r < 0 ? r : m_out->pb->error));
        } else {
            avio_flush(m_out->pb);
            m_goodBytes = avio_tell(m_out->pb);
            m_onDisk = m_packetsMuxed;
        }
    }
    const bool ok = !m_writeFailed;
    releaseFFmpeg();
    if (m_encoded.load() == 0 || (!ok && m_onDisk.load() == 0)) {
        // Stopped before the first frame, or failed before one reached the
        // disk: a file without a frame is not a video any player opens, so
        // none is left.
        QFile::remove(m_path);
    } else if (!ok && m_goodBytes > 0) {
        // Cut a partly written fragment off: the file ends with the last one
        // that was written whole, and plays.
        if (::truncate(QFile::encodeName(m_path).constData(), m_goodBytes) != 0)
            qWarning().noquote() << "Recording" << m_path << ": cannot trim the unfinished end";
    }
    // What the file lacks of what the camera offered, for whoever wonders
    // why it holds fewer frames.
    // Every frame the camera sent while recording is in one of the counts.
    const int offered = m_offered.load();
    const int skipped = offered - (offered + m_keepEvery - 1) / m_keepEvery;
    // A failed write cuts the file back to its last whole fragment: what it
    // holds is what was recorded, the rest was lost with the write.
    const qint64 recorded = ok ? m_encoded.load() : m_onDisk.load();
    int lost = 0;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        lost = m_lostAfterFailure;
        if (ok)
            m_dropped += int(m_queue.size()); // given up by the destructor
        else
            lost += int(m_queue.size());
    }
    lost += int(m_encoded.load() - recorded);
    qInfo().noquote()
        << QString("Recording %1 ended: %2 frames recorded, %3 dropped while the encoder was behind, "
                   "%4 left out over the frame rate, %5 skipped by keep-every, %6 could not be "
                   "decoded, %7 never reached the recorder, %8 lost when writing failed")
               .arg(m_path)
               .arg(recorded)
               .arg(m_dropped.load())
               .arg(m_overRate.load())
               .arg(skipped)
               .arg(m_bad.load())
               .arg(m_missed.load())
               .arg(lost);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_stopAsked = true;
        m_state = StateFinished;
        m_spaceFree.notify_all();
    }
    bool byItself;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        byItself = !m_stopByCaller;
    }
    if (!ok)
        SnapshotFiles::reportRecordingError(m_path, lastError());
    if (!ok && byItself)
        emit endedByItself(m_path, lastError());
    emit recordingFinished(ok, m_onDisk.load(), m_dropped.load());
}

void ThreadVideo::releaseFFmpeg() {
    if (m_encoder)
        avcodec_free_context(&m_encoder);
    if (m_decoder)
        avcodec_free_context(&m_decoder);
    if (m_out) {
        if (m_out->pb == m_io)
            m_out->pb = nullptr;
        avformat_free_context(m_out);
        m_out = nullptr;
    }
    if (m_io) {
        avio_flush(m_io);
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_stream = nullptr;
    av_packet_free(&m_packet);
    av_packet_free(&m_held);
    av_frame_free(&m_decoded);
    av_frame_free(&m_rawView);
    av_frame_free(&m_outFrame);
    m_scaler.reset();
}

bool isFreeSpaceEnough(qint64 freeBytes) { return freeBytes / 1024 / 1024 > 100; }

bool isDiskSpaceEnough(QString path) {
    QStringList parts = path.split('/');
    parts.removeLast();
    QString folder = parts.join('/');
    if (folder.isEmpty())
        folder = path.startsWith('/') ? QString("/") : QString(".");
    QStorageInfo volume(folder);
    if (!volume.isValid())
        return false;
    return isFreeSpaceEnough(volume.bytesAvailable());
}
