#include "MediaProbe.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numeric>
#include <vector>

ProbeResult probeVideo(const QString& path) {
    ProbeResult r;
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                        "stream=codec_name,width,height,nb_read_frames:format=duration", "-of", "default=nw=1",
                        path});
    if (!p.waitForFinished(120000)) {
        r.errors = "ffprobe did not finish";
        return r;
    }
    r.errors = QString::fromUtf8(p.readAllStandardError()).trimmed();
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QString key = line.section('=', 0, 0), value = line.section('=', 1);
        if (key == "codec_name")
            r.codec = value;
        else if (key == "width")
            r.width = value.toInt();
        else if (key == "height")
            r.height = value.toInt();
        else if (key == "nb_read_frames")
            r.frames = value.toInt();
        else if (key == "duration" && value != "N/A")
            r.duration = value.toDouble();
    }
    r.ok = p.exitCode() == 0 && !r.codec.isEmpty();
    return r;
}

double videoBitsPerSecond(const QString& path) {
    const ProbeResult r = probeVideo(path);
    if (!r.ok || r.duration <= 0)
        return -1;
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size", "-of", "csv=p=0", path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return -1;
    qint64 bytes = 0;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        bytes += line.trimmed().toLongLong();
    return bytes * 8.0 / r.duration;
}

QVector<double> videoBitsEachSecond(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time,size", "-of",
                        "csv=p=0", path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    QVector<double> bits;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> cells = line.trimmed().split(',');
        if (cells.size() < 2)
            continue;
        bool timeOk = false, sizeOk = false;
        const double at = cells[0].toDouble(&timeOk);
        const qint64 size = cells[1].toLongLong(&sizeOk);
        if (!timeOk || !sizeOk || at < 0)
            return {};
        const int second = int(at);
        if (bits.size() <= second)
            bits.resize(second + 1);
        bits[second] += size * 8.0;
    }
    return bits;
}

namespace {
// ffprobe's csv lines for the video stream's packets with the entries asked
// for; false when ffprobe fails.
bool packetRows(const QString& path, const QString& entries, QList<QList<QByteArray>>& rows) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=" + entries, "-of",
                        "csv=p=0", path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return false;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            rows << line.trimmed().split(',');
    return true;
}
} // namespace

QVector<int> videoFramesEachSecond(const QString& path) {
    QList<QList<QByteArray>> rows;
    if (!packetRows(path, "pts_time", rows))
        return {};
    QVector<int> frames;
    for (const auto& cells : rows) {
        bool ok = false;
        const double at = cells.value(0).toDouble(&ok);
        if (!ok || at < 0)
            return {};
        if (frames.size() <= int(at))
            frames.resize(int(at) + 1);
        ++frames[int(at)];
    }
    return frames;
}

QVector<double> keyFrameTimes(const QString& path) {
    QList<QList<QByteArray>> rows;
    if (!packetRows(path, "pts_time,flags", rows))
        return {-1};
    QVector<double> keys;
    for (const auto& cells : rows)
        if (cells.value(1).contains('K'))
            keys << cells.value(0).toDouble();
    return keys;
}

int convertedFrames(const QString& path, QString* error) {
    const QString out = path + ".converted.mp4";
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-y", "-v", "error", "-i", path, "-preset", "ultrafast", out});
    const bool finished = p.waitForFinished(300000);
    const QString said = QString::fromUtf8(p.readAllStandardError()).trimmed();
    const ProbeResult r = finished && p.exitCode() == 0 ? probeVideo(out) : ProbeResult();
    QFile::remove(out);
    if (!r.ok) {
        if (error)
            *error = finished ? QString("exit %1: %2 %3").arg(p.exitCode()).arg(said, r.errors) : "ffmpeg did not finish";
        return -1;
    }
    return r.frames;
}

namespace {
// A stream entry of ffprobe that is a fraction ("30000/1001"); -1 when it
// cannot be read.
double streamFraction(const QString& path, const QString& entry) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=" + entry, "-of",
                        "csv=p=0", path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return -1;
    const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split('/');
    const double num = parts.value(0).toDouble(), den = parts.size() > 1 ? parts[1].toDouble() : 1.0;
    return num > 0 && den > 0 ? num / den : -1;
}
} // namespace

double statedFrameRate(const QString& path) {
    return streamFraction(path, "r_frame_rate");
}

double averageFrameRate(const QString& path) {
    return streamFraction(path, "avg_frame_rate");
}

QStringList secondsOffTheBitRate(const QString& path) {
    const QVector<double> bits = videoBitsEachSecond(path);
    if (bits.size() < 3)
        return {QString("only %1 seconds of bits read").arg(bits.size())};
    QStringList off;
    for (int s = 1; s < bits.size() - 1; ++s) {
        if (std::abs(bits[s] - 12e6) > 12e6 * 0.1)
            off << QString("%1: %2").arg(s).arg(bits[s] / 1e6, 0, 'f', 2);
    }
    return off;
}

QStringList secondsOffTheBitRate(const QString& path, const std::function<double(int)>& rateAt) {
    // Each packet shows until the next one; the last for a frame.
    QList<QList<QByteArray>> rows;
    if (!packetRows(path, "pts_time,size,flags", rows))
        return {"the packets cannot be read"};
    struct Packet {
        double at;
        qint64 size;
        bool key;
    };
    std::vector<Packet> packets;
    for (const auto& cells : rows) {
        bool atOk = false, sizeOk = false;
        const double at = cells.value(0).toDouble(&atOk);
        const qint64 size = cells.value(1).toLongLong(&sizeOk);
        if (!atOk || !sizeOk || at < 0)
            return {"the packets cannot be read"};
        packets.push_back({at, size, cells.value(2).contains('K')});
    }
    std::sort(packets.begin(), packets.end(), [](const Packet& a, const Packet& b) { return a.at < b.at; });
    QVector<double> bits, shown;
    QVector<int> frames;
    QVector<bool> key;
    for (size_t i = 0; i < packets.size(); ++i) {
        const double at = packets[i].at;
        const int s = int(at);
        if (bits.size() <= s) {
            bits.resize(s + 1);
            shown.resize(s + 1);
            frames.resize(s + 1);
            key.resize(s + 1);
        }
        bits[s] += packets[i].size * 8.0;
        ++frames[s];
        key[s] = key[s] || packets[i].key;
        if (rateAt(s) > 0) {
            const double lasts = i + 1 < packets.size() ? packets[i + 1].at - at : 1.0 / rateAt(s);
            shown[s] += std::min(lasts, 2.0 / rateAt(s));
        }
    }
    if (bits.size() < 3)
        return {QString("only %1 seconds of bits read").arg(bits.size())};
    QStringList off;
    for (int s = 1; s < bits.size() - 1; ++s) {
        if (rateAt(s) <= 0 || frames[s] == 0)
            continue;
        // A key frame takes more than its share, and the pictures after it
        // pay that back over the encoder's clock: within a second of
        // pictures. Where gaps left its second less than that (a slow
        // reader's skipped ticks count two at most), the payback runs into
        // the next steady seconds, which are judged with it.
        int last = s;
        double windowBits = bits[s], windowShown = shown[s];
        int windowFrames = frames[s];
        while (key[s] && windowShown < 1.0 - 1e-3 && last + 1 < bits.size() - 1 && rateAt(last + 1) > 0) {
            ++last;
            windowBits += bits[last];
            windowShown += shown[last];
            windowFrames += frames[last];
        }
        const double want = 12e6 * windowShown;
        if (std::abs(windowBits - want) > want * 0.1)
            off << QString("%1: %2 for %3 frames shown %4 s")
                       .arg(last > s ? QString("%1-%2").arg(s).arg(last) : QString::number(s))
                       .arg(windowBits / 1e6, 0, 'f', 2)
                       .arg(windowFrames)
                       .arg(windowShown, 0, 'f', 3);
        s = last;
    }
    return off;
}

namespace {
QtMessageHandler g_previousHandler = nullptr;
// Any thread of the program logs. A C++ lock: ThreadSanitizer sees it.
std::mutex g_linesLock;
QStringList g_lines;
void catchLine(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    {
        std::lock_guard<std::mutex> lock(g_linesLock);
        g_lines << text;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}
} // namespace

QStringList LogCatcher::lines() {
    std::lock_guard<std::mutex> lock(g_linesLock);
    return g_lines;
}

LogCatcher::LogCatcher() {
    {
        std::lock_guard<std::mutex> lock(g_linesLock);
        g_lines.clear();
    }
    g_previousHandler = qInstallMessageHandler(catchLine);
}

LogCatcher::~LogCatcher() {
    qInstallMessageHandler(g_previousHandler);
}

RecordingEnd recordingEnd(const QStringList& lines) {
    static const QRegularExpression counts(
        "ended: (\\d+) ticks at [0-9.]+ a second, (\\d+) pictures from the camera and (\\d+) repeats \\((\\d+) of "
        "them copied without the encoder, (\\d+) carried by the picture before\\); "
        "(\\d+) left out over the frame rate, (\\d+) dropped while the encoder was behind, (\\d+) skipped by "
        "keep-every, (\\d+) could not be decoded, (\\d+) never reached the recorder, (\\d+) lost when writing "
        "failed");
    RecordingEnd e;
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = counts.match(line);
        if (!m.hasMatch())
            continue;
        int* fields[] = {&e.ticks, &e.pictures, &e.repeats, &e.copied, &e.carried, &e.leftOut,
                         &e.dropped, &e.skipped, &e.bad, &e.missed, &e.lost};
        for (int i = 0; i < 11; ++i)
            *fields[i] = m.captured(i + 1).toInt();
        e.ok = true;
    }
    return e;
}

QStringList constantRateFaults(const QString& path, double rate, const RecordingEnd& end) {
    const ProbeResult r = probeVideo(path);
    if (!r.ok)
        return {"ffprobe: " + r.errors};
    QStringList faults;
    QString why;
    const int converted = convertedFrames(path, &why);
    const double stated = statedFrameRate(path), average = averageFrameRate(path);
    if (!end.ok)
        faults << "no end line";
    else if (r.frames != end.ticks || end.pictures + end.repeats != end.ticks)
        faults << QString("%1 frames for %2 ticks: %3 pictures and %4 repeats")
                      .arg(r.frames)
                      .arg(end.ticks)
                      .arg(end.pictures)
                      .arg(end.repeats);
    if (std::abs(r.duration - r.frames / rate) > 0.002)
        faults << QString("%1 frames last %2 s").arg(r.frames).arg(r.duration);
    if (std::abs(stated - rate) > rate * 0.001 || std::abs(average - rate) > rate * 0.001)
        faults << QString("states %1 frames a second, %2 on average, for %3").arg(stated).arg(average).arg(rate);
    if (converted != r.frames)
        faults << QString("a plain conversion wrote %1 frames of %2 %3").arg(converted).arg(r.frames).arg(why);
    const QString decode = decodeErrors(path);
    if (!decode.isEmpty())
        faults << "a plain decode says " + decode.left(300);
    const QStringList off = rate >= 5 && rate == std::round(rate)
                                ? secondsOffTheBitRate(path)
                                : secondsOffTheBitRate(path, [rate](int) { return rate; });
    if (!off.isEmpty())
        faults << "Mbit/s in seconds " + off.join(", ");
    return faults;
}

QString completeFragmentsCopy(const QString& path, const QString& copyPath) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = in.readAll();
    auto be = [&](qint64 at, int n) {
        quint64 v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 8 | quint8(bytes[int(at + i)]);
        return v;
    };
    qint64 at = 0, keep = 0, moofAt = -1;
    while (at + 8 <= bytes.size()) {
        quint64 size = be(at, 4);
        const QByteArray type = bytes.mid(int(at + 4), 4);
        if (size == 1 && at + 16 <= bytes.size())
            size = be(at + 8, 8);
        if (size < 8 || at + qint64(size) > bytes.size())
            break; // cut short
        if (type == "moof") {
            moofAt = at;
        } else if (type == "mdat" || moofAt < 0) {
            keep = at + qint64(size); // a whole fragment, or a box before the first
            moofAt = -1;
        }
        at += qint64(size);
    }
    QFile out(copyPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes.left(int(keep))) != keep)
        return QString();
    return copyPath;
}

QString decodeErrors(const QString& path) {
    QProcess p;
    // As a user checks a file.
    p.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
    if (!p.waitForFinished(120000))
        return "exit: ffmpeg did not finish";
    const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    if (p.exitCode() != 0)
        return QString("exit %1: %2").arg(p.exitCode()).arg(err);
    return err;
}
