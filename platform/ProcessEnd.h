#pragma once

// How the program ends itself. It never touches other processes.
//
// requestExit(code) asks the event loop to finish with `code`. The request is
// posted (queued), so one made before QApplication::exec starts is kept, and
// it is remembered so that main can skip exec altogether when the request came
// before it. A watchdog thread then ends the process with `code` if it is still
// alive after `watchdogMs` (a worker that never finishes must not keep a
// closed program around). GUI thread.
namespace ProcessEnd {
void requestExit(int code = 0, int watchdogMs = 10000);
bool exitRequested();
int exitCode();
// For tests: forget an earlier request.
void reset();
// With SEVRIN_EXIT_TRACE set, prints "exit-trace <ms> <step>" to stderr, the
// time on the monotonic clock (as Python's time.monotonic() reads it), so a
// benchmark can time each step of the way out. Any thread.
void mark(const char* step);
} // namespace ProcessEnd
