#pragma once

#include "camera/ThreadAVPacket.h"

#include <QColor>
#include <QImage>
#include <QMap>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>

// Finishes one USB camera snapshot from a decoded RGB frame, on its own
// thread, by the request's mode:
//   0, 1, 10 and values outside 0..10: time stamp, rescale by size index,
//           12401 dots per metre, then saved as path + "." + image type with
//           its recent-list entry and thumbnail (0 and 1 with saveDirect, and
//           10), or handed to the hub's save dialog (0 and 1 otherwise);
//   2, 8, 9: saved as path + ".jpg" (quality 100) for the hub's still-image
//           road (MessagePassing::snapImage);
//   3: stitching frame, flat-field corrected; 4: flat-field reference;
//   5: nothing; 6: focus-stacking picture; 7: frame for the stacking worker.
// A failed save shows the "Error" box and leaves the recent list alone.
// Pictures are written under a temporary name and renamed when complete.
// The recent list is only touched on the GUI thread.
//
// The USB driver keeps a pool of these and reuses idle ones (GUI thread):
//   ThreaSaveImg* s = <a saver with s->isIdle()>;
//   s->setParams(path, mode, saveDirect, timeStamp, colour, position,
//                sizeIndex, className(), supportFastMode());   // now busy
//   if (mode == 7) s->setFocusStackConsumer(fn);
//   the decoder writes the frame into s->imageBuffer(w, h, 3) (or the
//   caller copies it in with setFrame(...)); then s->start().
// If the frame never arrives (no decoder took it, it did not decode), call
// release().
class ThreaSaveImg : public QThread {
    Q_OBJECT
public:
    // Called on the save thread with contiguous RGB rows (width x 3 bytes);
    // with null rows when the system refused the frame memory or a thread.
    using FocusStackConsumer = std::function<void(const uint8_t* rgb, int width, int height)>;

    explicit ThreaSaveImg(QObject* parent = nullptr);
    ~ThreaSaveImg() override;

    // Takes a job and copies the hub's image type. path has no suffix.
    // position: 0 top-left, 1 bottom-left, 2 top-right, others bottom-right.
    // sizeIndex: 0 1920x1080, 1 3840x2160, 2 7680x4320, others unchanged
    // (only for the 4K camera classes). supportsFastMode: the camera's
    // BaseCamera::supportFastMode (mode 4 scales to 1920 x 1080 when set).
    void setParams(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                   int sizeIndex, QString className, bool supportsFastMode = false);
    // The stacking worker's input for mode 7 (empty: mode 7 does nothing).
    void setFocusStackConsumer(FocusStackConsumer consumer);

    // The pooled image for a frame of that size (3 channels: RGB888, 4:
    // RGBA8888), created on first use; it becomes the job's image. Filled by
    // the caller before start(), on any thread.
    QImage* imageBuffer(int width, int height, int channels);
    // Copies contiguous rows (width x channels bytes each) into the job's image.
    void setFrame(const uint8_t* data, int width, int height, int channels = 3);
    // Gives back a job that will not run.
    void release();
    // Frees the pooled images (tens of MB each at 4K); the next job makes
    // its own again. Only while idle (no job, its thread not running).
    void releasePool();
    // Ends a job the system refused memory or a thread before its picture
    // came (also run() finding no picture): stitching and focus stacking are
    // told so and stop with their message, a picture the user asked for is
    // reported unsaved. The saver is free again.
    void refused();

    // Free for setParams: no job taken and the thread not running. A saver
    // whose frame is still being decoded is busy, not idle.
    bool isIdle() const { return !m_busy.load() && !isRunning(); }

    int mode() const { return m_mode; }

    // The default path's steps, for tests and for other savers.
    // Draws the date and time ("yyyy/MM/dd hh:mm:ss") into image.
    static void drawTimeStamp(QImage& image, const QString& text, const QColor& colour, int position);
    // The size a snapshot of that camera class is saved at.
    static QSize rescaledSize(const QSize& size, int sizeIndex, const QString& className);

protected:
    void run() override;

private:
    void runDefault(QImage image);
    void saveDirect(const QImage& image, const QString& file);

    QString m_path;
    int m_mode = 0;
    bool m_saveDirect = false;
    bool m_timeStamp = false;
    QColor m_colour;
    int m_position = 0;
    int m_sizeIndex = 0;
    QString m_className;
    QString m_imgType = "jpg";
    bool m_fastMode = false;
    FocusStackConsumer m_consumer;
    QMap<qint64, QImage*> m_pool; // key: width x channels (one image per frame width)
    QImage* m_current = nullptr;
    std::atomic<bool> m_busy{false};
};
