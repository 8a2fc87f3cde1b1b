#include "platform/HeapReturn.h"

#include <QTimer>

#include <malloc.h>

void HeapReturn::afterRun(QObject* context, const std::function<void()>& letGo) {
    const auto step = [letGo] {
        if (letGo)
            letGo();
        now();
    };
    step();
    for (const int ms : {1000, 5000})
        QTimer::singleShot(ms, context, step);
}

void HeapReturn::oneHeap() {
    if (!qEnvironmentVariableIsSet("MALLOC_ARENA_MAX") && !qEnvironmentVariableIsSet("GLIBC_TUNABLES"))
        mallopt(M_ARENA_MAX, 1);
}

void HeapReturn::now() {
    malloc_trim(0);
}
