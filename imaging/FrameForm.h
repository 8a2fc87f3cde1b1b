#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QWidget>

// The still picture opened for measuring (image mode). Zoom does not
// transform a painter: the form itself takes the zoomed size of the picture
// and is moved inside its parent (the view area), and every paint draws the
// whole picture scaled to the form. The zoom table holds ten fixed steps
// (0.1 ... 1.0) and the ratio that fits the picture into the parent.
//
// GUI thread only.
class FrameForm : public QWidget {
    Q_OBJECT
public:
    explicit FrameForm(QWidget* parent = nullptr);
    ~FrameForm() override;

    // Rebuilds the zoom table for the parent's present size and announces it
    // (setEditImageOKSIGNAL); nothing without a picture.
    void fitToWindow();
    // Applies zoom entry `index` (clamped into the table; nothing without a
    // table, then 1 is returned) and returns its scale. `anchor` is a point
    // in the form's own coordinates that stays put when zooming in above the
    // fit scale; (-10000, -10000) centres the picture.
    float setScaleIndex(int index, QPoint anchor);
    // Position of the fit ratio in the zoom table (-1 when none).
    int getScaleIndex() const { return scaleIndex; }
    bool isImageLoaded() const { return imageLoaded; }
    QSize imageSize() const { return image.size(); }
    const QList<float>& zoomTable() const { return scaleList; }
    const QImage& picture() const { return image; }

    // The zoom table for a picture of `picture` pixels in a parent of
    // `parent` pixels (ascending, eleven entries) and the position of the fit
    // ratio in it.
    static QList<float> buildZoomTable(QSize parent, QSize picture, int* fitIndex);

public slots:
    void setEditImageSLOT(QString path);
    void snapImageModeSLOT(QString path, QString suffix, int mode);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildTable();

    QList<float> scaleList;
    int scaleIndex = -1;
    QImage image; // RGBA8888
    bool imageLoaded = false;
    QImage paintImage;
};
