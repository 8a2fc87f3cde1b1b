#include "platform/HeapReturn.h"

#include <QCoreApplication>
#include <QTimer>

#include <malloc.h>

void HeapReturn::afterRun() {
    now();
    if (!QCoreApplication::instance())
        return;
    for (const int ms : {1000, 5000})
        QTimer::singleShot(ms, QCoreApplication::instance(), &HeapReturn::now);
}

void HeapReturn::now() {
    malloc_trim(0);
}
