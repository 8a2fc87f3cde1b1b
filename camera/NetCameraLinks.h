#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

class NetCameraRecorder;
class NetVideoFeed;

// Where a network camera meets the rest of the program: the video window, the
// recorder and the snapshot save thread. The program installs these once at
// start (NetCamera::setLinks); an empty function means "not connected" and the
// camera does without (no picture moves, recording refused, a snapshot file
// left where the SDK wrote it). All calls on the GUI thread.
struct NetCameraLinks {
    // Show this camera's frames at width x height (again after every
    // resolution change). The feed stays valid until detachVideo(feed).
    std::function<void(NetVideoFeed* feed, int width, int height)> attachVideo;
    // The camera is going away; forget the feed if it is the attached one.
    std::function<void(NetVideoFeed* feed)> detachVideo;
    // The video window's destination rectangle (picture position and size).
    std::function<QRect()> videoRect;
    // Move and size the destination rectangle (while the window is ready).
    std::function<void(const QRect& rect)> placeVideo;
    // Read back an area of the rendered picture into target (32-bit ARGB of
    // the area's size); false when it cannot.
    std::function<bool(QImage& target, const QRect& area)> readBack;
    // A new idle recorder, owned by the camera from then on.
    std::function<NetCameraRecorder*()> newRecorder;
    // Finish a snapshot from the file the SDK wrote at path (no suffix).
    std::function<void(const QString& path, int mode, bool saveDirect)> startSaveThread;
};
