#include "camera/ThreadAVPacket.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/FrameScaler.h"
#include "platform/MemoryRefusal.h"

#include <QtDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>

ThreadAVPacket::ThreadAVPacket(QObject* parent) : QThread(parent) {}

ThreadAVPacket::~ThreadAVPacket() {
    wait();
    release();
}

void ThreadAVPacket::release() {
    av_packet_free(&m_packet);
    if (m_decoder)
        avcodec_free_context(&m_decoder);
    avcodec_parameters_free(&m_params);
    av_frame_free(&m_frame);
    if (m_rgb)
        av_freep(&m_rgb->data[0]); // the picture of av_image_alloc
    av_frame_free(&m_rgb);
    m_scaler.reset();
    m_completion = nullptr;
    m_failure = nullptr;
    m_ready = false;
}

bool ThreadAVPacket::initDecoder(int width, int height) {
    const BaseCamera* camera = MessagePassing::instance()->currentCamera();
    return initDecoder(width, height, camera ? camera->pixelFormat() : int(PixFmtNV12));
}

bool ThreadAVPacket::initDecoder(int width, int height, int pixelFormat) {
    if (isRunning() || width <= 0 || height <= 0)
        return false;
    release();
    m_width = width;
    m_height = height;

    int decW = width, decH = height;
    switch (pixelFormat) {
    case PixFmtNV12:
        m_codecId = AV_CODEC_ID_RAWVIDEO;
        m_inputFormat = AV_PIX_FMT_NV12;
        break;
    case PixFmtYUYV:
        m_codecId = AV_CODEC_ID_RAWVIDEO;
        m_inputFormat = AV_PIX_FMT_YUYV422;
        break;
    case PixFmtMJPG:
        m_codecId = AV_CODEC_ID_MJPEG;
        m_inputFormat = AV_PIX_FMT_YUVJ420P;
        break;
    default:
        // An unexpected format is taken as JPEG of up to 3840 x 2160.
        m_codecId = AV_CODEC_ID_MJPEG;
        m_inputFormat = AV_PIX_FMT_YUVJ420P;
        decW = 3840;
        decH = 2160;
        break;
    }

    m_packet = av_packet_alloc();
    m_params = avcodec_parameters_alloc();
    m_params->codec_type = AVMEDIA_TYPE_VIDEO;
    m_params->codec_id = AVCodecID(m_codecId);
    m_params->format = m_inputFormat;
    // A JPEG's size comes from its header: FFmpeg's MJPEG decoder refuses
    // an image smaller than a size given in advance.
    m_params->width = m_codecId == AV_CODEC_ID_MJPEG ? 0 : decW;
    m_params->height = m_codecId == AV_CODEC_ID_MJPEG ? 0 : decH;
    m_announcedWidth = decW;
    m_announcedHeight = decH;
    const AVCodec* codec = avcodec_find_decoder(AVCodecID(m_codecId));
    m_decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    // A damaged frame (a truncated JPEG) is an error, not a picture to save.
    if (m_decoder)
        m_decoder->err_recognition |= AV_EF_EXPLODE | AV_EF_BUFFER;
    if (!m_decoder || avcodec_parameters_to_context(m_decoder, m_params) < 0 ||
        avcodec_open2(m_decoder, codec, nullptr) < 0) {
        qWarning() << "ThreadAVPacket: cannot open the decoder for format" << pixelFormat;
        release();
        return false;
    }
    m_frame = av_frame_alloc();
    m_rgb = av_frame_alloc();
    m_rgb->format = AV_PIX_FMT_RGB24;
    m_rgb->width = width;
    m_rgb->height = height;
    if (av_image_alloc(m_rgb->data, m_rgb->linesize, width, height, AV_PIX_FMT_RGB24, 1) < 0) {
        release();
        return false;
    }
    m_scaler = std::make_unique<FrameScaler>(width, height, AV_PIX_FMT_RGB24, SWS_BICUBIC);
    m_used = false;
    m_failed = false;
    m_busy = false;
    m_ready = true;
    return true;
}

bool ThreadAVPacket::pushPacket(const uint8_t* data, int bytes, Completion completion, Failure failed) {
    if (!m_ready || isRunning() || !data || bytes <= 0)
        return false;
    // The copy first: a copy the system refuses memory for is a push that
    // did not happen, and leaves the decoder free for the next frame.
    const size_t need = size_t(bytes) + AV_INPUT_BUFFER_PADDING_SIZE;
    if (m_data.size() < need && !MemoryRefusal::within([&] { m_data.resize(need); }))
        return false;
    m_used = false;
    m_failed = false;
    m_cancel = false;
    m_busy = true;
    std::memcpy(m_data.data(), data, size_t(bytes));
    std::memset(m_data.data() + bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    m_bytes = bytes;
    m_completion = std::move(completion);
    m_failure = std::move(failed);
    if (!MemoryRefusal::start(*this)) {
        // A push that did not happen, as a refused copy is.
        m_busy = false;
        m_completion = nullptr;
        m_failure = nullptr;
        return false;
    }
    return true;
}

void ThreadAVPacket::run() { decodeNow(); }

void ThreadAVPacket::decodeNow() {
    bool delivered = false;
    m_packet->data = m_data.data();
    m_packet->size = m_bytes;
    if (avcodec_send_packet(m_decoder, m_packet) >= 0) {
        while (avcodec_receive_frame(m_decoder, m_frame) >= 0) {
            if (m_frame->decode_error_flags || (m_frame->flags & AV_FRAME_FLAG_CORRUPT)) {
                av_frame_unref(m_frame);
                continue;
            }
            const bool scaled =
                m_scaler->scale(m_frame, m_rgb->data, m_rgb->linesize, [this] { return m_cancel.load(); });
            av_frame_unref(m_frame);
            if (!scaled)
                break;
            bool used = false;
            if (m_completion)
                m_completion(m_rgb->data[0], m_width, m_height, used);
            delivered = true;
            if (used)
                m_used = true;
        }
    }
    av_packet_unref(m_packet);
    if (!delivered) {
        // Drop whatever a half-read frame left in the decoder.
        avcodec_flush_buffers(m_decoder);
        m_failed = true;
        if (m_failure)
            m_failure();
    }
    if (m_used || m_failed)
        m_busy = false;
}
