/* The loading half of the executable's late-loaded libraries (the entries
 * are written by cmake/LoadLate.py): the first call of an entry loads its
 * library and puts the real function's address in the entry's slot. A
 * library that does not load there ends the program (the call cannot be
 * answered); a job that needs one loads it first with sevrin_late_load. */
#include "app/late/LateLoad.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern const char* const sevrin_late_sonames[];
extern const char* const sevrin_late_names[];
extern const int sevrin_late_libraries[];
extern const int sevrin_late_library_count;
extern void* sevrin_late_table[];

static pthread_mutex_t lateLock = PTHREAD_MUTEX_INITIALIZER;
static void* lateHandles[64];

/* Lock held. Null when it does not load. */
static void* loadLibrary(int lib) {
    if (!lateHandles[lib])
        /* Global, as a linked library would be: what it loads sees it. */
        lateHandles[lib] = dlopen(sevrin_late_sonames[lib], RTLD_LAZY | RTLD_GLOBAL);
    return lateHandles[lib];
}

int sevrin_late_load(const char* prefix, char* why, size_t size) {
    const size_t length = strlen(prefix);
    int result = 0;
    if (why && size)
        why[0] = 0;
    pthread_mutex_lock(&lateLock);
    for (int lib = 0; lib < sevrin_late_library_count && result == 0; ++lib) {
        if (strncmp(sevrin_late_sonames[lib], prefix, length) != 0 || loadLibrary(lib))
            continue;
        /* A library that did not load leaves nothing behind: a later Start tries again. */
        const char* error = dlerror();
        if (why && size)
            snprintf(why, size, "%s", error ? error : sevrin_late_sonames[lib]);
        result = -1;
    }
    pthread_mutex_unlock(&lateLock);
    return result;
}

__attribute__((visibility("hidden"))) void* sevrin_late_resolve(int entry) {
    pthread_mutex_lock(&lateLock);
    const int lib = sevrin_late_libraries[entry];
    if (!loadLibrary(lib)) {
        fprintf(stderr, "Sevrin: cannot load %s: %s\n", sevrin_late_sonames[lib], dlerror());
        abort();
    }
    void* address = dlsym(lateHandles[lib], sevrin_late_names[entry]);
    if (!address) {
        fprintf(stderr, "Sevrin: %s has no %s\n", sevrin_late_sonames[lib], sevrin_late_names[entry]);
        abort();
    }
    __atomic_store_n(&sevrin_late_table[entry], address, __ATOMIC_RELEASE);
    pthread_mutex_unlock(&lateLock);
    return address;
}
