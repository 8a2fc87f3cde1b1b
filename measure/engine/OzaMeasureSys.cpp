#include "measure/engine/OzaMeasureSys.h"

#include "app/SharedConstants.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/MeasureGlobals.h"

#include <QFont>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

OzaMeasureSys::OzaMeasureSys(QObject* parent) : QObject(parent) {
    m_shapes = new CCLObjectContainer();
    measureSystems.append(this);
    measureSys = this;
}

OzaMeasureSys::~OzaMeasureSys() {
    delete m_shapes;
    measureSystems.removeAll(this);
    if (measureSys == this)
        measureSys = measureSystems.isEmpty() ? nullptr : measureSystems.last();
}

QSize OzaMeasureSys::GetTextSize(const QString& text, int pixelSize) const {
    if (pixelSize < 11 || pixelSize > 128)
        pixelSize = m_shapeFontSize;
    QFont font(measureFontFamily);
    font.setPixelSize(pixelSize);
    const QFontMetrics fm(font);
    const QStringList lines = text.split('\n');
    if (lines.size() > 1) {
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, fm.horizontalAdvance(line));
        return QSize(widest + 50, (lines.size() + 1) * fm.height());
    }
    return QSize(fm.horizontalAdvance(text) + 35, fm.height() + 3);
}
