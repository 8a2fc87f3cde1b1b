// Recording speed: 300 simulated 1920 x 1080 NV12 camera frames encoded by
// the recorder with its settings (H.264, 12 Mbit/s, GOP 50, one B-frame,
// preset medium), against the ffmpeg command-line tool encoding the same raw
// frames with the same settings in the same run.
//
// Usage: bench_recorder [frames]   (default 300)

#include "camera/ThreadVideo.h"

#include "tests/camera/FrameSynth.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr int W = 1920, H = 1080, FPS = 20;

int probeFrames(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                        "stream=nb_read_packets", "-of", "csv=p=0", path});
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toInt();
}

// Encodes `count` frames through the recorder; waits for queue room when
// `lossless`, otherwise offers frames as fast as they come (drops counted).
double runRecorder(const QString& path, const std::vector<std::vector<uint8_t>>& frames, int count, bool lossless,
                   int* dropped) {
    QElapsedTimer clock;
    clock.start();
    ThreadVideo rec;
    if (!rec.startRecord(path, W, H, 13, 23, FPS, W, H, 1)) {
        std::fprintf(stderr, "recorder failed to start: %s\n", qPrintable(rec.lastError()));
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        if (lossless)
            rec.waitForSpace(60000);
        const auto& f = frames[size_t(i) % frames.size()];
        rec.pushFrame(f.data(), int(f.size()));
    }
    rec.stopRecord();
    rec.wait();
    *dropped = rec.droppedFrames();
    return clock.nsecsElapsed() / 1e9;
}

double runCli(const QString& path, const std::vector<std::vector<uint8_t>>& frames, int count, const QString& x264opts) {
    const QString cmd = QString("ffmpeg -y -nostdin -v error -f rawvideo -pix_fmt nv12 -s %1x%2 -r %3 -i - "
                                "-sws_flags fast_bilinear -c:v libx264 -pix_fmt yuv420p -b:v 12M -bf 1 -g 50 "
                                "-preset medium -x264opts %4 -threads 0 '%5'")
                            .arg(W)
                            .arg(H)
                            .arg(FPS)
                            .arg(x264opts, path);
    QElapsedTimer clock;
    clock.start();
    FILE* pipe = popen(cmd.toLocal8Bit().constData(), "w");
    if (!pipe)
        return 0;
    for (int i = 0; i < count; ++i) {
        const auto& f = frames[size_t(i) % frames.size()];
        if (std::fwrite(f.data(), 1, f.size(), pipe) != f.size())
            break;
    }
    pclose(pipe);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    QTemporaryDir dir;

    std::printf("Generating %d distinct %dx%d NV12 frames...\n", 30, W, H);
    std::vector<std::vector<uint8_t>> frames;
    for (int t = 0; t < 30; ++t)
        frames.push_back(FrameSynth::toNV12(FrameSynth::specimen(W, H, t * 5)));

    const QString ours = dir.filePath("recorder.mp4"), ref = dir.filePath("ffmpeg.mp4"),
                  free = dir.filePath("freerun.mp4");
    // The recorder's x264 options at this frame rate (half a second of look-ahead).
    const QString x264opts = QString("nal-hrd=cbr:rc-lookahead=%1").arg(std::max(5, std::min(FPS / 2, 40)));

    int dropped = 0;
    const double tOurs = runRecorder(ours, frames, count, true, &dropped);
    const double tRef = runCli(ref, frames, count, x264opts);
    const int nOurs = probeFrames(ours), nRef = probeFrames(ref);

    const double fpsOurs = tOurs > 0 ? nOurs / tOurs : 0, fpsRef = tRef > 0 ? nRef / tRef : 0;
    std::printf("\n%-34s %8s %8s %10s\n", "", "frames", "seconds", "frames/s");
    std::printf("%-34s %8d %8.2f %10.1f\n", "recorder (ThreadVideo)", nOurs, tOurs, fpsOurs);
    std::printf("%-34s %8d %8.2f %10.1f\n", "ffmpeg command line, same settings", nRef, tRef, fpsRef);
    std::printf("ratio recorder / ffmpeg: %.2f (target >= 0.9)\n", fpsRef > 0 ? fpsOurs / fpsRef : 0.0);
    if (dropped)
        std::printf("warning: %d frames dropped in the waiting run\n", dropped);

    // Offered without waiting, as a camera does: the bounded queue drops
    // what the encoder cannot take, and says how many.
    int freeDropped = 0;
    const double tFree = runRecorder(free, frames, count, false, &freeDropped);
    std::printf("free-running offer of %d frames in %.2f s: %d encoded, %d dropped (bounded queue)\n", count, tFree,
                probeFrames(free), freeDropped);
    return 0;
}
