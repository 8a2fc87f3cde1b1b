#include "imaging/FrameForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/PictureSizeLimit.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryFile>

#include <algorithm>

namespace {
const QPoint kNoAnchor(-10000, -10000);
}

FrameForm::FrameForm(QWidget* parent) : QWidget(parent) {
    setObjectName("FrameForm");
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(setEditImageSIGNAL(QString)), this, SLOT(setEditImageSLOT(QString)));
    connect(hub, SIGNAL(snapImageModeSIGNAL(QString, QString, int)), this,
            SLOT(snapImageModeSLOT(QString, QString, int)));
}

FrameForm::~FrameForm() = default;

QList<float> FrameForm::buildZoomTable(QSize parent, QSize picture, int* fitIndex) {
    QList<float> table{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
    // A picture or parent without pixels has no fit ratio: 1 keeps the
    // table usable instead of dividing by zero.
    float fit = 1.0f;
    if (picture.width() > 0 && picture.height() > 0 && parent.width() > 0 && parent.height() > 0) {
        const float rx = float(parent.width()) / float(picture.width());
        const float ry = float(parent.height()) / float(picture.height());
        fit = ry > rx ? rx : ry;
    }
    table.append(fit);
    std::sort(table.begin(), table.end());
    if (fitIndex)
        *fitIndex = table.indexOf(fit);
    return table;
}

void FrameForm::buildTable() {
    const QSize p = parentWidget() ? parentWidget()->size() : size();
    scaleList = buildZoomTable(p, image.size(), &scaleIndex);
}

void FrameForm::setEditImageSLOT(QString path) {
    // A picture beyond what the program can hold is never decoded, nor one
    // that does not decode (damaged, not a picture); the one on screen
    // stays.
    const QImage loaded = PictureSizeLimit::openPicture(path).convertToFormat(QImage::Format_RGBA8888);
    if (loaded.isNull())
        return;
    image = loaded;
    imageLoaded = true;
    buildTable();
    emit MessagePassing::instance()->setEditImageOKSIGNAL();
}

void FrameForm::fitToWindow() {
    if (!imageLoaded)
        return;
    buildTable();
    emit MessagePassing::instance()->setEditImageOKSIGNAL();
}

float FrameForm::setScaleIndex(int index, QPoint anchor) {
    if (scaleList.isEmpty())
        return 1.0f;
    index = std::clamp(index, 0, int(scaleList.size()) - 1);
    const float s = scaleList[index];
    const int w = std::max(1, int(float(image.width()) * s));
    const int h = std::max(1, int(float(image.height()) * s));
    const QSize parent = parentWidget() ? parentWidget()->size() : QSize(w, h);
    const float fit = scaleIndex >= 0 ? scaleList[scaleIndex] : 0.0f;
    if (anchor == kNoAnchor || !(s > fit) || width() <= 0 || height() <= 0) {
        move((parent.width() - w) / 2, (parent.height() - h) / 2);
    } else {
        const float ax = float(anchor.x()), ay = float(anchor.y());
        const int nx = int(float(x()) - (float(w) * ax / float(width()) - ax));
        const int ny = int(float(y()) - (float(h) * ay / float(height()) - ay));
        move(nx, ny);
    }
    resize(w, h);
    return s;
}

void FrameForm::snapImageModeSLOT(QString path, QString suffix, int mode) {
    // Every way out without a picture for the hub ends the requester's busy state.
    MessagePassing* hub = MessagePassing::instance();
    if (!imageLoaded) {
        hub->removeIconCamera();
        return;
    }
    // The picture goes to the hub through a temporary file of its own, never
    // through the user's file: a save that fails later must leave the
    // original untouched. PNG keeps the picture exact on the way; the hub
    // writes the final file in the format the user's suffix names.
    QTemporaryFile temp(QDir::tempPath() + "/sevrin-edit-XXXXXX.png");
    temp.setAutoRemove(false);
    if (!temp.open()) {
        hub->removeIconCamera();
        return;
    }
    const QString name = temp.fileName();
    const bool written = image.save(&temp, "PNG");
    temp.close();
    if (!written) {
        QFile::remove(name);
        hub->removeIconCamera();
        return;
    }
    const QString base = name.left(name.size() - 4);
    hub->snapImage(base, mode, path + "." + suffix);
    QFile::remove(name); // when the hub could not read it back
}

void FrameForm::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event)
    if (MessagePassing::instance()->getIsCameraMode() || image.isNull())
        return;
    paintImage = image.scaled(width(), height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(this);
    painter.drawImage(0, 0, paintImage);
}
