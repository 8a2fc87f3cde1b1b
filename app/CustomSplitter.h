#pragma once

#include <QSplitter>
#include <QSplitterHandle>

// A splitter that tells when the user lets go of a handle, so its owner can
// store the (by then final) sizes.
class CustomSplitter : public QSplitter {
    Q_OBJECT
public:
    using QSplitter::QSplitter;

signals:
    void saveDataSIGNAL();

protected:
    QSplitterHandle* createHandle() override;
};

class CustomSplitterHandle : public QSplitterHandle {
    Q_OBJECT
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
