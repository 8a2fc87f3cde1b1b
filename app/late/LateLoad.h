#pragma once

/* Loading a late-loaded library now, where a job can tell its failure: the
 * first call of a late entry (app/late/LateLoad.c) ends the program when its
 * library does not load, which a job avoids by loading it at its Start. */
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Contract: loads late libraries named prefix* now, never aborts; 0 loaded or not late, -1 `why` told. */
int sevrin_late_load(const char* prefix, char* why, size_t size) __attribute__((weak));

/* sevrin_late_load where the program loads libraries late; 0 in a program that links them at its start. */
static inline int sevrin_late_try_load(const char* prefix, char* why, size_t size) {
    return sevrin_late_load ? sevrin_late_load(prefix, why, size) : 0;
}

#ifdef __cplusplus
}
#endif
