#pragma once

#include <QString>
#include <QVector>

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

// The frame rate the file states for its video stream (ffprobe's
// r_frame_rate, a fraction); -1 when it cannot be read.
double statedFrameRate(const QString& path);

// A copy of the MP4 file at path, at copyPath, that ends with its last
// complete fragment (a moof box and its mdat): a process killed inside a
// write leaves the fragment it was writing cut short. The top-level boxes
// are walked by their own sizes. Returns copyPath, or an empty text when the
// file cannot be read.
QString completeFragmentsCopy(const QString& path, const QString& copyPath);

// Decodes every frame with `ffmpeg -v error -i path -f null -`; returns its
// error output (empty for a clean file) or a text starting with "exit" when
// ffmpeg failed.
QString decodeErrors(const QString& path);
