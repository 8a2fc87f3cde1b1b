#include "measure/engine/ShapeRegistry.h"

#include "measure/engine/CCLBaseObject.h"

#include <array>

namespace {
std::array<ShapeFactory, KindCount + 1>& table() {
    static std::array<ShapeFactory, KindCount + 1> factories;
    return factories;
}
} // namespace

namespace ShapeRegistry {

void registerKind(int kind, const ShapeFactory& factory) {
    if (kind < 1 || kind > KindCount)
        return;
    table()[kind] = factory;
}

void unregisterKind(int kind) {
    if (kind < 1 || kind > KindCount)
        return;
    table()[kind] = ShapeFactory();
}

void clear() {
    for (auto& f : table())
        f = ShapeFactory();
}

bool isRegistered(int kind) {
    return kind >= 1 && kind <= KindCount && table()[kind].create && table()[kind].copy;
}

CCLBaseObject* create(int kind) {
    if (!isRegistered(kind))
        return nullptr;
    return table()[kind].create();
}

CCLBaseObject* clone(int kind, const CCLBaseObject* src) {
    if (!src || !isRegistered(kind))
        return nullptr;
    CCLBaseObject* obj = table()[kind].create();
    if (obj)
        table()[kind].copy(obj, src);
    return obj;
}

void setMarkNumber(CCLBaseObject* shape, int number) {
    if (!shape || shape->kind < 1 || shape->kind > KindCount)
        return;
    const auto& f = table()[shape->kind];
    if (f.setMarkNumber)
        f.setMarkNumber(shape, number);
}

void collectLabelRect(CCLBaseObject* shape, QList<QRect>& rects) {
    if (!shape || shape->kind < 1 || shape->kind > KindCount)
        return;
    const auto& f = table()[shape->kind];
    if (f.collectLabelRect)
        f.collectLabelRect(shape, rects);
}

bool closeLasso(CCLBaseObject* shape) {
    if (!shape || shape->kind < 1 || shape->kind > KindCount)
        return false;
    const auto& f = table()[shape->kind];
    return f.closeLasso ? f.closeLasso(shape) : false;
}

} // namespace ShapeRegistry
