#include "platform/ImageThreads.h"

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

int ImageThreads::keep() {
    QThreadPool* pool = QThreadPool::globalInstance();
    // A conversion's part needs little stack; 8 MB each would hold address
    // space for nothing.
    pool->setStackSize(512 * 1024);
    pool->setExpiryTimeout(-1);
    // Every thread at once: each task waits until all have begun, so that no
    // thread takes a second one. The state lives with the tasks, since a
    // task whose thread the system refused never runs.
    struct Gate {
        QSemaphore arrived, go;
    };
    const auto gate = std::make_shared<Gate>();
    const int wanted = pool->maxThreadCount();
    for (int i = 0; i < wanted; ++i)
        pool->start([gate] {
            gate->arrived.release();
            gate->go.acquire();
        });
    int made = 0;
    while (made < wanted && gate->arrived.tryAcquire(1, 2000))
        ++made;
    gate->go.release(wanted);
    return made;
}
