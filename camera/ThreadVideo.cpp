#include "camera/ThreadVideo.h"

#include "camera/SnapshotFiles.h"

#include "app/hub/PictureSizeLimit.h"
#include "camera/FrameScaler.h"
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
// Buffers kept for the camera's next frames, and the encoder's pictures.
constexpr qint64 kKeptBytes = qint64(64) << 20;
// Frames waiting for the encoder: at most this many seconds of them.
constexpr int kQueueSeconds = 5;

// What frames waiting for the encoder may take: an eighth of the machine's
// memory, and under an address-space limit a quarter of what is left below
// it. The queue takes it only while the encoder is behind.
qint64 queueBytes() {
    const qint64 machine = PictureSizeLimit::machineMemory();
    qint64 bytes = machine > 0 ? machine / 8 : kKeptBytes;
    long long heldMb = 0, limitMb = 0;
    if (MemoryRefusal::addressSpace(heldMb, limitMb) && limitMb > 0)
        bytes = qMin<qint64>(bytes, qMax<qint64>(0, qint64(limitMb - heldMb) << 20) / 4);
    return bytes;
}
// Encoder threads that each take a band of the same picture, one a core: the
// work of a picture is the same however it is split, but on a machine busy
// with other programs each thread gets its share of a core, and a picture
// then still takes no longer than its tick.
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

// A driver's stated rate as the camera's own: the nearest whole number, or a
// fraction of twelfths at most (7.5, 3.5, 7/3), or a whole number over 1.001
// (29.97), when one lies within 1.5 %; the rate itself otherwise.
double cameraRate(double rate) {
    for (int q = 1; q <= 12; ++q) {
        const double p = std::round(rate * q);
        if (p > 0 && std::abs(p / q - rate) <= rate * 0.015)
            return p / q;
    }
    const double ntsc = std::round(rate * 1.001);
    if (std::abs(ntsc / 1.001 - rate) <= rate * 0.015)
        return ntsc / 1.001;
    return rate;
}

} // namespace

ThreadVideo::ThreadVideo(QObject* parent) : QThread(parent) {}

ThreadVideo::~ThreadVideo() {
    if (isRunning()) {
        stopRecord();
        // The backlog (at most the queue's second of frames) is recorded
        // however long a busy machine takes to encode it. Only an encoder
        // that finishes no picture in three seconds has its queue given up,
        // and the file is finished.
        int64_t done = -1;
        while (!wait(3000)) {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_jobsDone != done) {
                done = m_jobsDone;
                continue;
            }
            m_abort = true;
            m_frameReady.notify_all();
            m_jobChanged.notify_all();
            break;
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
    {
        const double stated = statedHeldRate(m_fps, qMax(1, keepEvery), m_cameraFps);
        const double rate = stated > 0 ? stated : m_fps;
        const AVRational q = av_d2q(rate, 100000);
        m_rateNum = q.num > 0 && q.den > 0 ? q.num : m_fps;
        m_rateDen = q.num > 0 && q.den > 0 ? q.den : 1;
        m_keyTicks = qMax<int64_t>(1, std::llround(keyFrameSeconds(rate) * rate));
        m_secondTicks = qMax<int64_t>(1, int64_t(std::ceil(rate - 1e-9)));
    }

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
        const qint64 frameBytes =
            qMax<qint64>(1, inCodecId == AV_CODEC_ID_RAWVIDEO ? rawFrameBytes(inWidth, inHeight)
                                                              : qint64(inWidth) * inHeight / 2);
        if (m_capacity == 0) {
            // A machine busy for a few seconds delays the encoder by that
            // much before a frame is dropped. What waits is lost when the
            // process dies; a deleted recorder still records it.
            m_capacity = int(qMax<qint64>(3, qMin<qint64>(queueBytes() / frameBytes, qint64(kQueueSeconds) * fps)));
        }
        m_spareLimit = int(qMax<qint64>(3, kKeptBytes / frameBytes));
        m_nextKeyPts = 0;
        m_originMs = -1;
        m_lastQueuedTick = -1;
        m_lastOfferedMs = -1;
        m_lostAfterFailure = 0;
        m_nextTick = 0;
        m_firstTick = -1;
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
    qInfo().noquote() << QString("Recording %1: the camera is said to send %2 frames a second (keeping every %3), "
                                 "the file holds %4")
                             .arg(m_path)
                             .arg(m_cameraFps)
                             .arg(m_keepEvery)
                             .arg(double(m_rateNum) / m_rateDen);
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
    // Stamps count ticks of the file's one rate.
    m_encoder->time_base = AVRational{m_rateDen, m_rateNum};
    m_encoder->framerate = AVRational{m_rateNum, m_rateDen};
    m_encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    m_encoder->width = m_outWidth;
    m_encoder->height = m_outHeight;
    // A constant 12 Mbit/s: the encoder keeps to it only with a rate ceiling
    // at the same value and a buffer to measure it over; without them it
    // falls back to an average rate well below. The buffer is 0.3 s: a key
    // frame may take that much more than its share, and the pictures after
    // it pay it back within the same second (with 0.33 s, no adaptive
    // quantisation and the picture cut into bands for two or three threads, a
    // key frame among moving pictures left its second 13.3-13.4 Mbit, more
    // than 10 % off). The quantiser is the
    // same over the picture (no adaptive quantisation): a still specimen
    // comes out at 54.9-55.0 dB PSNR at 10 frames a second, against 53.7-53.9
    // with it, at the same bytes.
    m_encoder->bit_rate = 12000000;
    m_encoder->rc_max_rate = 12000000;
    m_encoder->rc_min_rate = 12000000;
    m_encoder->rc_buffer_size = 3600000;
    // Nothing held back: a B-frame waits for the picture after it, and
    // threads that each take a whole picture keep several in flight. What
    // the encoder holds is lost when the process dies, and the live picture
    // needs the processor more than the encoder needs a smaller file.
    m_encoder->max_b_frames = 0;
    // Key frames come every m_keyTicks (encodeTick); the encoder's own count
    // only stands behind it, at a minute of the file's rate.
    m_encoder->gop_size = 60 * m_fps;
    m_encoder->thread_type = FF_THREAD_SLICE;
    m_encoder->thread_count = encoderThreads();
    m_encoder->color_range = AVCOL_RANGE_MPEG;
    m_encoder->colorspace = AVCOL_SPC_SMPTE170M;
    if (m_out->oformat->flags & AVFMT_GLOBALHEADER)
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // No look-ahead (the preset's would hold 40 frames, four seconds at 10
    // frames per second), and a preset that encodes a full-HD picture in a
    // third of the time "medium" takes, at the same constant bit rate. Every
    // tick holds a picture, so the rate is spent evenly over the file's time.
    av_opt_set(m_encoder->priv_data, "x264opts", "nal-hrd=cbr:aq-mode=0", 0);
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
    // Repeats the encoder has no time for are made without it, where its
    // stream allows that: their parameter set goes into the file's header.
    m_canCopy = m_encoder->extradata && m_copies.start(m_encoder->extradata, m_encoder->extradata_size);
    if (m_canCopy) {
        const QByteArray header = m_copies.header();
        auto* extradata = static_cast<uint8_t*>(av_mallocz(size_t(header.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!extradata) {
            setError("out of memory");
            return false;
        }
        std::memcpy(extradata, header.constData(), size_t(header.size()));
        av_freep(&m_stream->codecpar->extradata);
        m_stream->codecpar->extradata = extradata;
        m_stream->codecpar->extradata_size = int(header.size());
    }

    // Input side: raw frames are wrapped as they are, JPEG frames decoded.
    m_packet = av_packet_alloc();
    m_jpegPacket = av_packet_alloc();
    m_held = av_packet_alloc();
    m_decoded = av_frame_alloc();
    m_rawView = av_frame_alloc();
    const int pictureBytes = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, m_outWidth, m_outHeight, 1);
    m_outFrames.assign(size_t(qBound<qint64>(2, qMin<qint64>(kKeptBytes / qMax(1, pictureBytes), m_secondTicks), 30)),
                       nullptr);
    m_lastJobWith.assign(m_outFrames.size(), 0);
    for (AVFrame*& f : m_outFrames)
        f = av_frame_alloc();
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
    for (AVFrame* f : m_outFrames) {
        if (!f) {
            setError("out of memory");
            return false;
        }
        f->format = AV_PIX_FMT_YUV420P;
        f->width = m_outWidth;
        f->height = m_outHeight;
        if (av_frame_get_buffer(f, 0) < 0) {
            setError("out of memory");
            return false;
        }
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

int64_t ThreadVideo::tickOf(int64_t captureMs) const {
    const double ticks = double(captureMs - m_originMs) * m_rateNum / (1000.0 * m_rateDen);
    return std::max<int64_t>(0, int64_t(std::floor(ticks + 0.5)));
}

bool ThreadVideo::queueFrame(std::unique_ptr<Frame>& frame, int64_t captureMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_stopAsked || m_abort) {
        if (!m_stopByCaller && m_openResult > 0)
            ++m_lostAfterFailure; // writing failed and ended the recording
        return false;
    }
    int64_t tick = -1;
    if (captureMs >= 0) {
        if (m_originMs < 0)
            m_originMs = captureMs;
        // The file lasts until the newest frame offered, even when that
        // frame is dropped below.
        m_lastOfferedMs = std::max(m_lastOfferedMs, captureMs);
        tick = std::max(tickOf(captureMs), m_lastQueuedTick);
        // A newer frame of the tick of the one waiting last in the queue
        // takes its place (and its buffer): it is left out unseen.
        if (!m_queue.empty() && m_queue.back()->tick == tick) {
            frame = std::move(m_queue.back());
            m_queue.pop_back();
            ++m_overRate;
            frame->captureMs = captureMs;
            ++m_reserved;
            return true;
        }
    }
    if (int(m_queue.size()) + m_reserved >= m_capacity) {
        const int dropped = ++m_dropped;
        if (dropped == 1 || dropped % 100 == 0)
            qWarning().noquote() << "Recording" << m_path << ": encoder behind, dropped" << dropped << "frames";
        return false;
    }
    if (tick >= 0)
        m_lastQueuedTick = tick;
    if (!m_spare.empty()) {
        frame = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        frame.reset(new (std::nothrow) Frame);
        if (!frame) {
            noRoomFor(lock);
            return false;
        }
    }
    frame->captureMs = captureMs;
    frame->tick = tick;
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
    if (frame->data.size() < need && !MemoryRefusal::within([&] { frame->data.resize(need); })) {
        frame.reset();
        std::unique_lock<std::mutex> lock(m_mutex);
        --m_reserved;
        noRoomFor(lock);
        return false;
    }
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

void ThreadVideo::noRoomFor(std::unique_lock<std::mutex>&) {
    // The system gave no memory for one more frame: the queue holds what it
    // has now, and the frame is dropped like one that found it full.
    m_capacity = qMax(1, int(m_queue.size()) + m_reserved);
    ++m_dropped;
    qWarning().noquote() << "Recording" << m_path << ": no memory for more frames waiting, the queue holds"
                         << m_capacity;
}

void ThreadVideo::recycle(std::unique_ptr<Frame>& frame) {
    // The camera's buffer goes back at once; a copy's is kept for the next
    // frame, as many as a burst does not leave holding the machine's memory.
    frame->shared = QByteArray();
    if (int(m_spare.size()) < m_spareLimit)
        m_spare.push_back(std::move(frame));
}

void ThreadVideo::commitFrame(std::unique_ptr<Frame>& frame, int bytes, int width, int height) {
    frame->bytes = bytes;
    frame->width = width;
    frame->height = height;
    std::unique_lock<std::mutex> lock(m_mutex);
    --m_reserved;
    m_queue.push_back(std::move(frame));
    m_frameReady.notify_all();
    m_jobChanged.notify_all(); // a full queue: repeats waiting for the encoder become copies
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
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(qMin<unsigned long>(ms, 86400000));
    std::unique_lock<std::mutex> lock(m_mutex);
    m_paced = true;
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
    // Pictures are encoded on a thread of their own, so that the next one
    // is decoded and scaled meanwhile.
    m_encodeThread = std::thread([this] { encodeJobs(); });
    for (;;) {
        std::unique_ptr<Frame> frame;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            // A frame being copied in by pushFrame (reserved) is waited for,
            // so a stop racing the last frame still records it.
            while (!m_abort && m_queue.empty() && (!m_stopAsked || m_reserved > 0))
                m_frameReady.wait(lock);
            if (m_abort || m_queue.empty())
                break;
            frame = std::move(m_queue.front());
            m_queue.pop_front();
            m_working = true;
        }
        if (!m_writeFailed)
            placeFrame(frame);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_writeFailed && frame)
            ++m_lostAfterFailure;
        m_working = false;
        if (frame)
            recycle(frame);
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

void ThreadVideo::placeFrame(std::unique_ptr<Frame>& frame) {
    if (frame->tick < 0) {
        // No capture time: the tick after the last, at once.
        commitNewest();
        if (!m_writeFailed)
            postPicture(*frame);
        return;
    }
    if (m_newest && frame->tick <= m_newest->tick) {
        // A newer frame of the same tick: the one before is left out.
        ++m_overRate;
        frame->tick = m_newest->tick;
        std::swap(frame, m_newest);
        return;
    }
    commitNewest();
    fillTicks(frame->tick);
    std::swap(frame, m_newest); // frame: the one committed (or none)
}

void ThreadVideo::commitNewest() {
    if (!m_newest || m_writeFailed)
        return;
    std::unique_ptr<Frame> frame = std::move(m_newest);
    fillTicks(frame->tick);
    if (!postPicture(*frame) && m_firstTick >= 0) {
        // It does not decode: its tick repeats the picture before.
        postJob(Job::Repeat, m_nextTick++);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    recycle(frame);
}

void ThreadVideo::fillTicks(int64_t end) {
    if (m_firstTick < 0) {
        // No picture yet: the file starts with the next one.
        m_nextTick = std::max(m_nextTick, end);
        return;
    }
    for (; m_nextTick < end && !m_writeFailed; ++m_nextTick) {
        // Outside the first second of a key frame's group a repeat is a copy
        // of the picture before, made without the encoder: the encoder sees
        // only the camera's pictures, so a pause or a stall costs no encoding
        // time and leaves its rate control as it was (given a run of cheap
        // repeats, it took the pictures after them for cheap too, up to a
        // sixth more bits in a second). In that first second the encoder
        // repeats the picture itself: a key frame's tick, and the ticks whose
        // bits pay the key frame back within its second (the encoder reckons
        // them by the pictures it is given). There a repeat is a copy only
        // where the encoder is behind a camera (a backlog of its own, and the
        // queue full: the next frame would be dropped). A caller that waits
        // for space keeps the queue full and loses nothing.
        const bool keySecond = (m_nextTick - m_firstTick) % m_keyTicks < m_secondTicks;
        bool behind = false;
        if (keySecond) {
            std::unique_lock<std::mutex> lock(m_mutex);
            auto full = [&] { return !m_paced && int(m_queue.size()) + m_reserved >= m_capacity; };
            m_jobChanged.wait(lock, [&] { return m_abort || m_jobs.size() < kJobBacklog || full(); });
            behind = !m_abort && m_jobs.size() >= kJobBacklog;
        }
        postJob(behind || !keySecond ? Job::Copy : Job::Repeat, m_nextTick);
    }
}

bool ThreadVideo::postPicture(Frame& frame) {
    // The picture the encoder had longest ago.
    const int into = (m_lastPicture + 1) % int(m_outFrames.size());
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_jobChanged.wait(lock, [&] { return m_jobsDone >= m_lastJobWith[into]; });
    }
    if (!takePicture(frame, m_outFrames[into]))
        return false;
    m_lastPicture = into;
    postJob(Job::Picture, m_nextTick++);
    return true;
}

void ThreadVideo::postJob(Job::Kind kind, int64_t tick) {
    if (m_firstTick < 0)
        m_firstTick = tick;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_jobs.push_back({kind, tick, m_lastPicture});
    m_lastJobWith[m_lastPicture] = ++m_jobsPosted;
    m_jobChanged.notify_all();
}

void ThreadVideo::encodeJobs() {
    for (;;) {
        Job job;
        bool skip;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_jobChanged.wait(lock, [&] { return !m_jobs.empty(); });
            job = m_jobs.front();
            skip = m_abort; // the destructor gave up waiting: no more encoding
        }
        if (job.kind == Job::End)
            return;
        if (skip) {
            // Given up: its tick is not in the file, its picture is lost.
            ++m_ticksGivenUp;
            m_picturesGivenUp += job.kind == Job::Picture ? 1 : 0;
        } else if (!m_writeFailed) {
            if (job.kind == Job::Picture) {
                ++m_pictures;
                encodeTick(job.tick, false, m_outFrames[job.picture]);
            } else if (job.kind == Job::Repeat) {
                ++m_repeats;
                encodeTick(job.tick, true, m_outFrames[job.picture]);
            } else {
                copyTick(job.tick);
            }
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_jobs.pop_front();
        ++m_jobsDone;
        m_jobChanged.notify_all();
    }
}

void ThreadVideo::copyTick(int64_t tick) {
    if (!m_canCopy || !m_inEncoder.empty() || m_held->size <= 0) {
        // The picture before carries this tick by its duration.
        ++m_carried;
        return;
    }
    // The encoder holds nothing back: the copy follows the picture it
    // shows. It carries its tick's share of the bits.
    const QByteArray copy = m_copies.copyOfLast(int(m_encoder->bit_rate * m_rateDen / m_rateNum / 8));
    if (av_new_packet(m_packet, int(copy.size())) < 0) {
        m_writeFailed = true;
        setError("out of memory");
        return;
    }
    std::memcpy(m_packet->data, copy.constData(), size_t(copy.size()));
    m_packet->pts = m_packet->dts = tick - m_firstTick;
    ++m_copied;
    ++m_repeats;
    holdPacket(m_packet, true);
}

void ThreadVideo::endEncodeJobs() {
    if (!m_encodeThread.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_jobs.push_back({Job::End, 0, 0});
        m_jobChanged.notify_all();
    }
    m_encodeThread.join();
}

bool ThreadVideo::takePicture(Frame& frame, AVFrame* into) {
    const AVFrame* picture = nullptr;
    if (m_inCodecId == AV_CODEC_ID_RAWVIDEO) {
        // Only read: the scaler takes the planes where they are.
        av_image_fill_arrays(m_rawView->data, m_rawView->linesize, const_cast<uint8_t*>(frame.bytesPtr()),
                             AVPixelFormat(m_inPixFmt), frame.width, frame.height, 1);
        m_rawView->width = frame.width;
        m_rawView->height = frame.height;
        m_rawView->format = m_inPixFmt;
        m_rawView->color_range = AVCOL_RANGE_MPEG;
        picture = m_rawView;
    } else {
        uint8_t* jpeg = frame.data.data();
        if (!frame.shared.isNull()) {
            // The decoder reads a little past the end: a padded copy, made
            // here rather than on the camera's thread.
            const size_t need = size_t(frame.bytes) + AV_INPUT_BUFFER_PADDING_SIZE;
            if (m_padded.size() < need)
                m_padded.resize(need);
            std::memcpy(m_padded.data(), frame.shared.constData(), size_t(frame.bytes));
            std::memset(m_padded.data() + frame.bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
            jpeg = m_padded.data();
        }
        m_jpegPacket->data = jpeg;
        m_jpegPacket->size = frame.bytes;
        const int r = avcodec_send_packet(m_decoder, m_jpegPacket);
        av_packet_unref(m_jpegPacket);
        if (r < 0 || avcodec_receive_frame(m_decoder, m_decoded) < 0) {
            ++m_bad;
            return false;
        }
        picture = m_decoded;
    }
    const bool ok = av_frame_make_writable(into) >= 0 && m_scaler->scale(picture, into->data, into->linesize);
    // One picture a frame: a second one from the same packet takes no tick.
    if (picture == m_decoded)
        while (avcodec_receive_frame(m_decoder, m_decoded) >= 0)
            av_frame_unref(m_decoded);
    if (!ok)
        ++m_bad;
    return ok;
}

bool ThreadVideo::encodeTick(int64_t tick, bool repeat, AVFrame* picture) {
    const int64_t pts = tick - m_firstTick;
    picture->pts = m_encoderPts++;
    // A group starts every m_keyTicks; one whose first tick the encoder had
    // no time for starts at the next picture.
    picture->pict_type = AV_PICTURE_TYPE_NONE;
    if (pts >= m_nextKeyPts) {
        picture->pict_type = AV_PICTURE_TYPE_I;
        m_nextKeyPts = (pts / m_keyTicks + 1) * m_keyTicks;
    }
    const int r = avcodec_send_frame(m_encoder, picture);
    if (r < 0) {
        setError("the encoder refused a frame: " + avErrorText(r));
        return true;
    }
    ++m_encoded;
    m_inEncoder.push_back({pts, repeat});
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
        // No picture is held back or reordered: pictures come out in the
        // order they went in, each with its tick.
        if (m_inEncoder.empty()) {
            setError("the encoder gave more pictures than it was given");
            return !flush;
        }
        m_packet->pts = m_packet->dts = m_inEncoder.front().pts;
        const bool repeat = m_inEncoder.front().repeat;
        m_inEncoder.pop_front();
        if (m_canCopy) {
            // Numbered past the copies made since the last key frame.
            const QByteArray renumbered = m_copies.renumber(m_packet->data, m_packet->size);
            if (!renumbered.isNull()) {
                AVPacket* p = av_packet_alloc();
                if (!p || av_new_packet(p, int(renumbered.size())) < 0 || av_packet_copy_props(p, m_packet) < 0) {
                    av_packet_free(&p);
                    setError("out of memory");
                    return false;
                }
                std::memcpy(p->data, renumbered.constData(), size_t(renumbered.size()));
                av_packet_unref(m_packet);
                av_packet_move_ref(m_packet, p);
                av_packet_free(&p);
            }
        }
        if (!holdPacket(m_packet, repeat))
            return false;
    }
    // The end: the last picture lasts until the file's last tick is over.
    if (m_held->size > 0) {
        m_held->duration = std::max<int64_t>(1, m_nextTick - m_firstTick - m_held->pts);
        return writeHeld();
    }
    return true;
}

bool ThreadVideo::holdPacket(AVPacket* packet, bool repeat) {
    // Each picture is written when the next one comes, lasting until it:
    // one tick, or the ticks after it that a stream taking no copied
    // repeats leaves to the picture before.
    if (m_held->size > 0) {
        m_held->duration = std::max<int64_t>(1, packet->pts - m_held->pts);
        if (!writeHeld())
            return false;
    }
    av_packet_move_ref(m_held, packet);
    m_heldIsRepeat = repeat;
    return true;
}

bool ThreadVideo::writeHeld() {
    av_packet_rescale_ts(m_held, m_encoder->time_base, m_stream->time_base);
    m_held->stream_index = m_stream->index;
    int r = av_interleaved_write_frame(m_out, m_held);
    av_packet_unref(m_held);
    ++m_packetsMuxed;
    if (!m_heldIsRepeat)
        ++m_picturesMuxed;
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
        m_picturesOnDisk = m_picturesMuxed;
    }
    return true;
}

void ThreadVideo::finish() {
    // The newest frame takes its tick, and the file lasts until the tick of
    // the last frame offered (one dropped or left out there too).
    commitNewest();
    int64_t lastTick = -1;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_lastOfferedMs >= 0)
            lastTick = tickOf(m_lastOfferedMs);
    }
    if (!m_abort)
        fillTicks(lastTick + 1);
    endEncodeJobs();
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
            m_picturesOnDisk = m_picturesMuxed;
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
    // What each tick of the file holds, and what became of every frame the
    // camera sent while recording (each is in one of the counts): for
    // whoever wonders why a picture repeats or a frame is missing.
    const int offered = m_offered.load();
    const int skipped = offered - (offered + m_keepEvery - 1) / m_keepEvery;
    // A failed write cuts the file back to its last whole fragment: what it
    // holds is what was recorded, the rest was lost with the write.
    const qint64 ticks = ok ? (m_firstTick >= 0 ? m_nextTick - m_firstTick - m_ticksGivenUp : 0) : m_onDisk.load();
    const qint64 pictures = ok ? m_pictures : m_picturesOnDisk;
    const qint64 repeats = ok ? m_repeats + m_carried : m_onDisk.load() - m_picturesOnDisk;
    qint64 lost = m_pictures - pictures + (m_newest ? 1 : 0);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        lost += m_lostAfterFailure;
        if (ok)
            m_dropped += int(m_queue.size() + m_picturesGivenUp); // given up by the destructor
        else
            lost += int(m_queue.size());
    }
    qInfo().noquote()
        << QString("Recording %1 ended: %2 ticks at %3 a second, %4 pictures from the camera and %5 repeats (%6 of "
                   "them copied without the encoder, %7 carried by the picture before); %8 left out over the "
                   "frame rate, %9 dropped while the encoder was behind, %10 skipped by keep-every, %11 could "
                   "not be decoded, %12 never reached the recorder, %13 lost when writing failed")
               .arg(m_path)
               .arg(ticks)
               .arg(double(m_rateNum) / m_rateDen)
               .arg(pictures)
               .arg(repeats)
               .arg(ok ? m_copied : 0)
               .arg(ok ? m_carried : 0)
               .arg(m_overRate.load())
               .arg(m_dropped.load())
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
    av_packet_free(&m_jpegPacket);
    av_packet_free(&m_held);
    av_frame_free(&m_decoded);
    av_frame_free(&m_rawView);
    for (AVFrame*& f : m_outFrames)
        av_frame_free(&f);
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
