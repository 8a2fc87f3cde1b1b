#pragma once

#include <QString>
#include <QtGlobal>
#include <QStringList>
#include <QVector>

#include <functional>
#include <ostream>

// Readable QString values in Google Test messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Reads a recorded file back with FFmpeg's command-line tools, independent
// of the recorder's own libraries.
struct ProbeResult {
    bool ok = false;        // ffprobe ran and found a video stream
    QString codec;
    int width = 0;
    int height = 0;
    int frames = -1;        // frames decoded by ffprobe (-count_frames)
    double duration = -1;   // container duration in seconds (-1 when not given)
    QString errors;         // ffprobe's error output
};

ProbeResult probeVideo(const QString& path);

// The video stream's bits per second over the file's duration: the sizes of
// all its packets as ffprobe lists them; -1 when they cannot be read.
double videoBitsPerSecond(const QString& path);

// The video stream's bits in each whole second of play (packets grouped by
// their presentation time), from ffprobe; empty when they cannot be read.
QVector<double> videoBitsEachSecond(const QString& path);

// The video stream's frames in each whole second of play (packets grouped by
// their presentation time), from ffprobe; empty when they cannot be read.
QVector<int> videoFramesEachSecond(const QString& path);

// The presentation times (seconds) of the video stream's key frames, from
// ffprobe; {-1} when they cannot be read.
QVector<double> keyFrameTimes(const QString& path);

// The frames of a plain conversion of the file to MP4, as a user makes one
// (`ffmpeg -i path out.mp4`, here with the fastest preset), counted by
// ffprobe; -1 (and the reason in *error) when it fails.
int convertedFrames(const QString& path, QString* error = nullptr);

// The frame rate the file states for its video stream (ffprobe's
// r_frame_rate, a fraction); -1 when it cannot be read.
double statedFrameRate(const QString& path);

// The average frame rate the file states for its video stream (ffprobe's
// avg_frame_rate); -1 when it cannot be read.
double averageFrameRate(const QString& path);

// The steady seconds of videoBitsEachSecond(path) that do not carry 12
// Mbit/s +- 10 %, as "second: Mbit/s" texts (empty when all do, or when the
// bits cannot be read: then one text says so). Steady: neither the first
// second (the encoder's buffer starts full) nor the last (cut short).
QStringList secondsOffTheBitRate(const QString& path);
// The same for a file whose seconds hold different numbers of frames (a held
// rate that is not a whole number, a stall, a frame the camera lost, a rate
// change): each steady second that held a frame is judged against 12 Mbit
// for each second its pictures show, a picture counting two frames of
// `rateAt(second)` at most (a gap is no picture's); a second whose rate is 0
// is not judged. A second with a key frame whose pictures show less than a
// second (gaps of skipped ticks) is judged together with the steady seconds
// after it, up to a second of pictures: the key frame's extra bits are paid
// back over that much of the encoder's time ("6-7: ..." then).
QStringList secondsOffTheBitRate(const QString& path, const std::function<double(int)>& rateAt);

// The program's log lines while it lives (one at a time), from any thread.
struct LogCatcher {
    LogCatcher();
    ~LogCatcher();
    static QStringList lines(); // those logged so far
};

// The counts of a recorder's closing log line among `lines` (ok: a line has
// them): the file's ticks, by what holds them, and what became of every
// frame the camera sent.
struct RecordingEnd {
    bool ok = false;
    int ticks = 0, pictures = 0, repeats = 0, copied = 0, carried = 0;
    int leftOut = 0, dropped = 0, skipped = 0, bad = 0, missed = 0, lost = 0;
    int sent() const { return pictures + leftOut + dropped + skipped + bad + missed + lost; }
};
RecordingEnd recordingEnd(const QStringList& lines);

// What keeps the recording at `path` from being a file of one constant
// `rate` as its end line `end` tells it: one picture each of its ticks
// (which its pictures and repeats fill), lasting as long, stating that rate
// as its rate and its average, a plain conversion keeping every frame, a
// plain decode printing nothing, and every steady second carrying 12 Mbit/s
// (12 Mbit for each second of pictures at a rate that is not whole, or
// below five). Empty when nothing does.
QStringList constantRateFaults(const QString& path, double rate, const RecordingEnd& end);

// A copy of the MP4 file at path, at copyPath, that ends with its last
// complete fragment (a moof box and its mdat): a process killed inside a
// write leaves the fragment it was writing cut short. The top-level boxes
// are walked by their own sizes. Returns copyPath, or an empty text when the
// file cannot be read.
QString completeFragmentsCopy(const QString& path, const QString& copyPath);

// Decodes every frame with `ffmpeg -v error -i path -f null -`, as a user
// checks a file; returns its
// error output (empty for a clean file) or a text starting with "exit" when
// ffmpeg failed.
QString decodeErrors(const QString& path);
