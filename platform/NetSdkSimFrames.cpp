#include "platform/NetSdkSimFrames.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <list>
#include <memory>
#include <mutex>

namespace {

constexpr uint32_t stampMagic = 0x54464E53; // "SNFT" in memory order
constexpr int stampBytes = 16;
constexpr size_t cacheLimit = 6;

struct Specimen {
    int width;
    int height;
    NetSdkSimFrames::Look look;
    std::shared_ptr<const cv::Mat> picture;
};

std::mutex g_cacheMutex;
std::list<Specimen> g_cache; // most recently used first

// The still part of every frame: something to measure and to focus on.
cv::Mat paintSpecimen(int w, int h, const NetSdkSimFrames::Look& look) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y) {
        auto* row = m.ptr<uint8_t>(y);
        const uint8_t g = uint8_t(70 + 60 * y / h);
        for (int x = 0; x < w; ++x) {
            row[3 * x + 0] = uint8_t(60 + 80 * x / w);
            row[3 * x + 1] = g;
            row[3 * x + 2] = 90;
        }
    }
    // Fine texture: a 2-pixel checker in the lower band, for focus measures.
    for (int y = h * 3 / 4; y < h * 7 / 8; ++y) {
        auto* row = m.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) {
            if (((x >> 1) + (y >> 1)) & 1)
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = uint8_t(std::min(255, row[3 * x + c] + 40));
        }
    }
    const int step = std::max(20, w / 16);
    for (int x = step; x < w; x += step)
        cv::line(m, {x, 0}, {x, h - 1}, cv::Scalar(30, 30, 30), 1);
    for (int y = step; y < h; y += step)
        cv::line(m, {0, y}, {w - 1, y}, cv::Scalar(30, 30, 30), 1);
    const int r = std::max(8, h / 10);
    cv::circle(m, {w / 4, h / 4}, r, cv::Scalar(255, 255, 255), 3, cv::LINE_AA);
    cv::circle(m, {w * 3 / 4, h / 4}, r / 2, cv::Scalar(0, 200, 255), 3, cv::LINE_AA);
    cv::circle(m, {w / 4, h * 3 / 4}, r * 2 / 3, cv::Scalar(255, 200, 0), -1, cv::LINE_AA);
    cv::rectangle(m, cv::Rect(w * 5 / 8, h * 5 / 8, w / 6, h / 8), cv::Scalar(40, 220, 40), -1);
    cv::putText(m, "SIM NET", {w / 16, h / 12}, cv::FONT_HERSHEY_SIMPLEX, std::max(0.5, h / 540.0),
                cv::Scalar(240, 240, 240), std::max(1, h / 540), cv::LINE_AA);
    if (look.mono) {
        cv::Mat grey;
        cv::cvtColor(m, grey, cv::COLOR_BGR2GRAY);
        cv::cvtColor(grey, m, cv::COLOR_GRAY2BGR);
    }
    if (look.mirror && look.flip)
        cv::flip(m, m, -1);
    else if (look.mirror)
        cv::flip(m, m, 1);
    else if (look.flip)
        cv::flip(m, m, 0);
    return m;
}

std::shared_ptr<const cv::Mat> specimen(int w, int h, const NetSdkSimFrames::Look& look) {
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
            if (it->width == w && it->height == h && it->look == look) {
                g_cache.splice(g_cache.begin(), g_cache, it);
                return g_cache.front().picture;
            }
        }
    }
    // Painted outside the lock: another camera's frames keep flowing meanwhile.
    auto picture = std::make_shared<const cv::Mat>(paintSpecimen(w, h, look));
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cache.push_front({w, h, look, picture});
    if (g_cache.size() > cacheLimit)
        g_cache.pop_back();
    return picture;
}

void writeStamp(uint8_t* at, int w, int h, uint32_t serial) {
    const uint32_t words[4] = {stampMagic, uint32_t(w), uint32_t(h), serial};
    std::memcpy(at, words, stampBytes);
}

} // namespace

QPoint NetSdkSimFrames::markPosition(int width, int height, const Look& look, uint32_t serial) {
    const int travel = std::max(1, width - markSize);
    int x = int((uint64_t(serial) * 16) % uint64_t(travel));
    int y = std::max(0, height / 2 - markSize / 2);
    if (look.mirror)
        x = std::max(0, width - markSize - x);
    if (look.flip)
        y = std::max(0, height - markSize - y);
    return QPoint(x, y);
}

void NetSdkSimFrames::render(uint8_t* dst, int width, int height, const Look& look, uint32_t serial) {
    if (width <= 0 || height <= 0)
        return;
    const auto picture = specimen(width, height, look);
    std::memcpy(dst, picture->data, size_t(width) * height * 3);
    const QPoint mark = markPosition(width, height, look, serial);
    const uint8_t b = look.mono ? 255 : 0, g = look.mono ? 255 : 0, r = 255;
    const int mw = std::min(markSize, width - mark.x()), mh = std::min(markSize, height - mark.y());
    for (int y = 0; y < mh; ++y) {
        uint8_t* p = dst + (size_t(mark.y() + y) * width + mark.x()) * 3;
        for (int x = 0; x < mw; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    }
    if (size_t(width) * 3 >= stampBytes) {
        writeStamp(dst, width, height, serial);
        writeStamp(dst + size_t(height - 1) * width * 3, width, height, serial);
    }
}

bool NetSdkSimFrames::readStamp(const uint8_t* frame, int width, int height, int stride, Stamp* stamp) {
    if (!frame || width * 3 < stampBytes || height < 1)
        return false;
    uint32_t top[4], bottom[4];
    std::memcpy(top, frame, stampBytes);
    std::memcpy(bottom, frame + size_t(height - 1) * stride, stampBytes);
    if (top[0] != stampMagic || std::memcmp(top, bottom, stampBytes) != 0)
        return false;
    if (stamp)
        *stamp = {int(top[1]), int(top[2]), top[3]};
    return true;
}
