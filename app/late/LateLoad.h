#pragma once

/* Loading a late-loaded library now, where a job can tell its failure: the
 * first call of a late entry (app/late/LateLoad.c) ends the program when its
 * library does not load, which a job avoids by loading it at its Start. */
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Contract: loads every late library whose soname begins with `prefix` (e.g. "libopencv_ximgproc"), never aborting;
 * 0 when loaded (or nothing of that name loads late here), else -1 with the loader's words in `why` (`size` bytes). */
int sevrin_late_load(const char* prefix, char* why, size_t size) __attribute__((weak));

/* sevrin_late_load where the program loads libraries late; 0 in a program that links them at its start. */
static inline int sevrin_late_try_load(const char* prefix, char* why, size_t size) {
    return sevrin_late_load ? sevrin_late_load(prefix, why, size) : 0;
}

#ifdef __cplusplus
}
#endif
