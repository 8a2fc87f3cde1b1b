#pragma once

#include <QObject>
#include <QSize>
#include <QString>

class CCLBaseObject;
class CCLObjectContainer;

// The measurement object of the overlay (growing; see the overlay issue).
class OzaMeasureSys : public QObject {
    Q_OBJECT
public:
    explicit OzaMeasureSys(QObject* parent = nullptr);
    ~OzaMeasureSys() override;

    bool isActive() const { return m_active; }
    void setActive(bool on) { m_active = on; }
    CCLObjectContainer* shapeContainer() const { return m_shapes; }
    int shapeFontSize() const { return m_shapeFontSize; }
    // Label box of a text in the label font at pixelSize (outside 11..128:
    // the shape font size): one line is (width + 35) x (height + 3); several
    // lines (widest + 50) x ((lines + 1) x line height).
    QSize GetTextSize(const QString& text, int pixelSize) const;

private:
    CCLObjectContainer* m_shapes = nullptr;
    int m_shapeFontSize = 22;
    bool m_active = false;
};
