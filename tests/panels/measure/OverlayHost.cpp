#include "OverlayHost.h"

#include "measure/engine/ItemLayer.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/shapes/ShapeRegistration.h"

#include <QAbstractButton>

OverlayHost::OverlayHost(QSize view, QSize frame) : m_host(std::make_unique<QWidget>()) {
    m_host->resize(view);
    RegisterMeasureShapes();
    layer = new ItemLayer(m_host.get());
    layer->init();
    layer->syncToVideoRect(QRect(QPoint(0, 0), view), frame);
}

OverlayHost::~OverlayHost() {
    m_host.reset();
    ShapeRegistry::clear();
}

void clickText(QWidget* box, const QString& text) {
    for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b->click();
}
