#include "resources/SevrinResources.h"

#include <QtCore/QtGlobal>

static void initSevrinBundle() { Q_INIT_RESOURCE(sevrin); }

void sevrinInitResources() {
    static bool done = false;
    if (!done) {
        initSevrinBundle();
        done = true;
    }
}
