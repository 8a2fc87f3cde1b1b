#pragma once

#include <QImage>
#include <QString>
#include <QThread>

// Finishes one network camera snapshot from the file the camera SDK wrote:
// loads it (jpg, bmp, png or tiff), deletes the file and hands the picture on
// by mode (0, 1: the hub's save step with saveDirect; 10: saved directly;
// others: nothing). One per job; it deletes itself when done.
class ThreaSaveImgNet : public QThread {
    Q_OBJECT
public:
    explicit ThreaSaveImgNet(QObject* parent = nullptr);

    // Stores the job, copies the hub's image type and starts the thread.
    void startSave(QString path, int mode, bool saveDirect);
    // A new saver for one job, started (GUI thread; deleted when finished).
    static ThreaSaveImgNet* launch(QString path, int mode, bool saveDirect);

protected:
    void run() override;

private:
    QImage m_image;
    QString m_path;
    int m_mode = 0;
    bool m_saveDirect = false;
    QString m_imgType = "jpg";
};
