#pragma once

#include <QString>

// The limits of the process that refuse it threads or files, named for the
// box that says why a picture, a recording or a list was not saved: the
// threads its user may run (ulimit -u) and the files it may hold open
// (ulimit -n). Any thread; no state.
class ProcessLimits {
public:
    // The error code of making a thread now: 0 when one was made (it ends at
    // once), EAGAIN when the system refuses more threads. Its stack is
    // small, so that the answer tells the count of threads rather than the
    // memory left.
    static int threadError();
    // The error code of opening a file now: 0, or EMFILE / ENFILE when the
    // process or the system holds as many open files as it may.
    static int fileError();
    // The limit behind an error code, in the program's language (0
    // simplified Chinese, 1 English, 2 traditional Chinese): EAGAIN (of
    // making a thread) the threads, EMFILE and ENFILE the open files; empty
    // for any other code.
    static QString reason(int error, int language);
    // The limit that refuses a thread or a file now, as the code reason()
    // takes: threadError() when it is EAGAIN, else fileError().
    static int reachedNow();
};
