#pragma once

#include <QWidget>

class QGraphicsView;

// The focus-stacking panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class JingShenFormHigh : public QWidget {
    Q_OBJECT
public:
    explicit JingShenFormHigh(QWidget* parent = nullptr);
    QWidget* getGraphicsView() const { return nullptr; }
    void goin() {}
    void setSceneScale() {}
    void takeBackGraphicsView() {}
    void renewViewGeometry() {}

signals:
    void moveLabImgHigh(QGraphicsView* view);

public slots:
    void changeLanguageSLOT(int language);
};
