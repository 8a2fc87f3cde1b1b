#pragma once

#include <QWidget>

class QGraphicsView;

// The stitching panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class PinJieForm : public QWidget {
    Q_OBJECT
public:
    explicit PinJieForm(QWidget* parent = nullptr);
    QWidget* getGraphicsView() const { return nullptr; }
    void gotoStart() {}
    void takeBackGraphicsView() {}
    void renewViewGeometry() {}

signals:
    void moveGraphicsView(QGraphicsView* view);

public slots:
    void changeLanguageSLOT(int language);
};
