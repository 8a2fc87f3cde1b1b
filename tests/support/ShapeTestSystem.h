#pragma once

#include <QPointF>
#include <QVector>

#include <memory>

class CCLBaseObject;
class CCLObjectContainer;
class OzaMeasureSys;
class TestEnv;

// Surroundings of a shape test: a fresh working folder, a 1920 x 1080
// picture shown 1:1, label style 0, no text input, every shape class
// registered and an active measurement system. Undone on destruction.
class ShapeTestSystem {
public:
    ShapeTestSystem();
    ~ShapeTestSystem();

    OzaMeasureSys* sys() const { return m_sys.get(); }
    CCLObjectContainer* shapes() const;
    // Chooses the kind and presses the points through the container; the
    // shape registered by them, or null.
    CCLBaseObject* build(int kind, const QVector<QPointF>& clicks);
    // Drops the system, for tests that let an overlay make its own.
    void dropSystem();

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<OzaMeasureSys> m_sys;
};
