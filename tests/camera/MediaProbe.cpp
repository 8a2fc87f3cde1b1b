#include "MediaProbe.h"

#include <QProcess>
#include <QStringList>

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

QString decodeErrors(const QString& path) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
    if (!p.waitForFinished(120000))
        return "exit: ffmpeg did not finish";
    const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    if (p.exitCode() != 0)
        return QString("exit %1: %2").arg(p.exitCode()).arg(err);
    return err;
}
