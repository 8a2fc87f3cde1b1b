#pragma once

#include <QList>
#include <QRect>

#include <functional>

class CCLBaseObject;

// Kind code -> factory of the concrete shape class. The shape classes fill
// it in (RegisterMeasureShapes in measure/shapes); until a kind is registered
// the container has no prototype for it and its tool creates nothing.
// GUI thread only.
struct ShapeFactory {
    // A new shape of the class, with the class defaults (its kind set).
    std::function<CCLBaseObject*()> create;
    // dst = src through the class's own assignment (both of the class).
    std::function<void(CCLBaseObject* dst, const CCLBaseObject* src)> copy;
    // The numbered marks carry their number in a field of their own.
    std::function<void(CCLBaseObject* shape, int number)> setMarkNumber;
    // The arc's label box, added before its creation rectangles when its
    // creation is ended from outside.
    std::function<void(CCLBaseObject* shape, QList<QRect>& rects)> collectLabelRect;
    // The lasso: closes the outline collected while the button was down;
    // true when it is complete and may be registered.
    std::function<bool(CCLBaseObject* shape)> closeLasso;
};

namespace ShapeRegistry {
// Replaces any earlier factory of that kind; kinds outside 1..31 are ignored.
void registerKind(int kind, const ShapeFactory& factory);
void unregisterKind(int kind);
void clear();
bool isRegistered(int kind);
// Null for an unregistered kind.
CCLBaseObject* create(int kind);
// New object of the kind's class holding a copy of src; null when unregistered.
CCLBaseObject* clone(int kind, const CCLBaseObject* src);
void setMarkNumber(CCLBaseObject* shape, int number);
void collectLabelRect(CCLBaseObject* shape, QList<QRect>& rects);
// False when the kind has no lasso closing.
bool closeLasso(CCLBaseObject* shape);

// The usual factory of a class T derived from CCLBaseObject.
template <class T> ShapeFactory factoryOf() {
    ShapeFactory f;
    f.create = [] { return static_cast<CCLBaseObject*>(new T()); };
    f.copy = [](CCLBaseObject* dst, const CCLBaseObject* src) {
        *static_cast<T*>(dst) = *static_cast<const T*>(src);
    };
    return f;
}
} // namespace ShapeRegistry
