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

#include "camera/ThreadVideo.h"

#include "tests/camera/FrameSynth.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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
