// Recording cost, like for like: the recorder against the ffmpeg command-line
// tool on the same frames with the same settings, run in turns in one process.
//
// Input: 1920 x 1080 frames of a moving procedural specimen (30 distinct
// pictures, cycled), as MJPG (JPEG quality 90, 4:2:0, what the USB cameras
// send) and as NV12, stamped as a camera of 30 frames a second delivers them;
// the file keeps 15 a second (one per tick of its rate, by capture time).
// Settings of both sides: H.264 by libx264, preset veryfast, tune zerolatency
// (no B-frames, no look-ahead), group of pictures 50, 12 Mbit/s with
// nal-hrd=cbr, slice threads as many as the recorder takes, the input decoded
// on one thread, fast bilinear scaling, fragmented MP4.
//
// Frames go in as fast as each side takes them (the recorder waits for queue
// room, the tool reads a pipe), so the figures are the cost of the work.
// Reported per run: wall time, CPU time of the whole side (process CPU for
// the recorder, the child's CPU for the tool), and the CPU time of the thread
// that hands frames to the recorder (in the program: the camera's thread).
//
// Usage: bench_recorder [frames] [rounds]   (default 300 frames, 3 rounds)
//        bench_recorder psnr [seconds]        (default 10)
// The second form records a still full-HD specimen at 10 frames a second,
// each side in turn, and prints the PSNR of the file against the picture
// sent (ffmpeg's psnr filter) with the file's bit rate.

#include "camera/ThreadVideo.h"

#include "tests/camera/FrameSynth.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int W = 1920, H = 1080, CameraFps = 30, FileFps = 15;

struct Run {
    double wall = 0, cpu = 0, feederCpu = 0;
    int frames = 0;
    double duration = 0;
};

double seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

double processCpu(int who) {
    rusage u{};
    getrusage(who, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void probe(const QString& path, Run& run) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                        "stream=nb_read_packets:format=duration", "-of", "default=nw=1:nk=1", path});
    p.waitForFinished(120000);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.frames = lines.value(0).trimmed().toInt();
    run.duration = lines.value(1).trimmed().toDouble();
}

Run runRecorder(const QString& path, const std::vector<std::vector<uint8_t>>& frames, int count, bool mjpg) {
    Run run;
    QElapsedTimer clock;
    const double cpu0 = processCpu(RUSAGE_SELF), feed0 = threadCpu();
    clock.start();
    ThreadVideo rec;
    if (!rec.startRecord(path, W, H, mjpg ? 7 : 13, mjpg ? 12 : 23, FileFps, W, H, 1)) {
        std::fprintf(stderr, "recorder failed to start: %s\n", qPrintable(rec.lastError()));
        return run;
    }
    for (int i = 0; i < count; ++i) {
        rec.waitForSpace(60000);
        const auto& f = frames[size_t(i) % frames.size()];
        rec.pushFrame(f.data(), int(f.size()), 0, 0, 1000 + int64_t(i) * 1000 / CameraFps);
    }
    rec.stopRecord();
    rec.wait();
    run.wall = clock.nsecsElapsed() / 1e9;
    run.cpu = processCpu(RUSAGE_SELF) - cpu0;
    run.feederCpu = threadCpu() - feed0;
    if (rec.droppedFrames())
        std::fprintf(stderr, "warning: the recorder dropped %d frames\n", rec.droppedFrames());
    probe(path, run);
    return run;
}

Run runCli(const QString& path, const std::vector<std::vector<uint8_t>>& frames, int count, bool mjpg) {
    const int threads = qBound(1, QThread::idealThreadCount() / 2, 4);
    const QString input = mjpg ? QString("-f mjpeg -framerate %1").arg(CameraFps)
                               : QString("-f rawvideo -pix_fmt nv12 -s %1x%2 -framerate %3").arg(W).arg(H).arg(CameraFps);
    // The frame-rate filter first, so that the tool, like the recorder,
    // converts only the frames it keeps.
    const QString cmd = QString("ffmpeg -y -nostdin -v error -threads 1 %1 -i - -vf fps=%2 "
                                "-sws_flags fast_bilinear -pix_fmt yuv420p -c:v libx264 -preset veryfast "
                                "-tune zerolatency -bf 0 -g 50 -b:v 12M -x264opts nal-hrd=cbr -threads %3 "
                                "-thread_type slice -movflags frag_keyframe+empty_moov+default_base_moof "
                                "-frag_duration 250000 '%4'")
                            .arg(input)
                            .arg(FileFps)
                            .arg(threads)
                            .arg(path);
    Run run;
    QElapsedTimer clock;
    const double cpu0 = processCpu(RUSAGE_CHILDREN), feed0 = threadCpu();
    clock.start();
    FILE* pipe = popen(cmd.toLocal8Bit().constData(), "w");
    if (!pipe)
        return run;
    for (int i = 0; i < count; ++i) {
        const auto& f = frames[size_t(i) % frames.size()];
        if (std::fwrite(f.data(), 1, f.size(), pipe) != f.size())
            break;
    }
    pclose(pipe);
    run.wall = clock.nsecsElapsed() / 1e9;
    run.cpu = processCpu(RUSAGE_CHILDREN) - cpu0;
    run.feederCpu = threadCpu() - feed0;
    probe(path, run);
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void loadAverage() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) > 0)
        std::printf("load average %.1f %.1f %.1f\n", load[0], load[1], load[2]);
}

// The file's PSNR against the raw NV12 picture `still` (ffmpeg's "average"
// figure over all planes and frames), and its bits per second.
void printFidelity(const char* side, const QString& path, const QString& still) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-v", "info", "-i", path, "-f", "rawvideo", "-pix_fmt", "nv12", "-s",
                       QString("%1x%2").arg(W).arg(H), "-stream_loop", "-1", "-i", still, "-lavfi",
                       "[0:v]format=yuv420p[a];[1:v]format=yuv420p[b];[a][b]psnr=shortest=1", "-f", "null", "-"});
    p.waitForFinished(300000);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const int at = err.lastIndexOf("average:");
    Run run;
    probe(path, run);
    const double bits = QFileInfo(path).size() * 8.0 / std::max(0.001, run.duration);
    std::printf("%-8s PSNR %s  %d frames, %.2f s, %.2f Mbit/s\n", side,
                at < 0 ? "unread" : qPrintable(err.mid(at + 8, 8).trimmed()), run.frames, run.duration, bits / 1e6);
}

int psnrMode(int seconds) {
    QTemporaryDir dir;
    const std::vector<uint8_t> still = FrameSynth::toNV12(FrameSynth::specimen(W, H, 0));
    const QString raw = dir.filePath("still.nv12");
    {
        QFile f(raw);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(still.data()), qint64(still.size())) !=
                                                 qint64(still.size()))
            return 1;
    }
    std::printf("a still %dx%d specimen, %d s at 10 frames a second\n", W, H, seconds);
    const QString ours = dir.filePath("ours.mp4");
    {
        ThreadVideo rec;
        if (!rec.startRecord(ours, W, H, 13, 23, 10, W, H, 1, 10)) {
            std::fprintf(stderr, "recorder failed to start: %s\n", qPrintable(rec.lastError()));
            return 1;
        }
        for (int i = 0; i < seconds * 10; ++i) {
            rec.waitForSpace(60000);
            rec.pushFrame(still.data(), int(still.size()), 0, 0, 1000 + int64_t(i) * 100);
        }
        rec.stopRecord();
        rec.wait();
    }
    printFidelity("ours", ours, raw);
    const QString cli = dir.filePath("cli.mp4");
    const int threads = qBound(1, QThread::idealThreadCount() / 2, 4);
    QProcess p;
    p.start("ffmpeg", {"-y", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt", "nv12", "-s",
                       QString("%1x%2").arg(W).arg(H), "-framerate", "10", "-stream_loop", QString::number(seconds * 10 - 1),
                       "-i", raw, "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "veryfast", "-tune",
                       "zerolatency", "-bf", "0", "-g", "50", "-b:v", "12M", "-maxrate", "12M", "-bufsize", "4M",
                       "-x264opts", "nal-hrd=cbr", "-threads", QString::number(threads), "-thread_type", "slice", cli});
    p.waitForFinished(300000);
    printFidelity("ffmpeg", cli, raw);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "psnr")
        return psnrMode(argc > 2 ? std::max(2, std::atoi(argv[2])) : 10);
    const int count = argc > 1 ? std::max(30, std::atoi(argv[1])) : 300;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir;

    std::printf("%d frames %dx%d stamped at %d fps into a %d fps file, %d rounds, ours and ffmpeg in turns\n", count,
                W, H, CameraFps, FileFps, rounds);
    for (const bool mjpg : {true, false}) {
        std::vector<std::vector<uint8_t>> frames;
        for (int t = 0; t < 30; ++t) {
            const QImage picture = FrameSynth::specimen(W, H, t * 5);
            frames.push_back(mjpg ? FrameSynth::toJpeg(picture, 90) : FrameSynth::toNV12(picture));
        }
        std::printf("\n%s input\n", mjpg ? "MJPG" : "NV12");
        loadAverage();
        std::printf("%-8s %5s %7s %9s %9s %11s\n", "side", "round", "frames", "wall s", "CPU s", "feeder CPU");
        std::vector<double> oursWall, oursCpu, cliWall, cliCpu;
        for (int r = 0; r < rounds; ++r) {
            QFile::remove(dir.filePath("ours.mp4")); // the recorder makes new files only
            const Run ours = runRecorder(dir.filePath("ours.mp4"), frames, count, mjpg);
            const Run cli = runCli(dir.filePath("cli.mp4"), frames, count, mjpg);
            std::printf("%-8s %5d %7d %9.2f %9.2f %11.3f  (file %.2f s)\n", "ours", r + 1, ours.frames, ours.wall,
                        ours.cpu, ours.feederCpu, ours.duration);
            std::printf("%-8s %5d %7d %9.2f %9.2f %11.3f  (file %.2f s)\n", "ffmpeg", r + 1, cli.frames, cli.wall,
                        cli.cpu, cli.feederCpu, cli.duration);
            oursWall.push_back(ours.wall);
            oursCpu.push_back(ours.cpu);
            cliWall.push_back(cli.wall);
            cliCpu.push_back(cli.cpu);
        }
        loadAverage();
        std::printf("median ratio ours / ffmpeg: wall %.2f, CPU %.2f\n", median(oursWall) / median(cliWall),
                    median(oursCpu) / median(cliCpu));
    }
    return 0;
}
