#!/usr/bin/python3
"""A terminate request while focus stacking runs ends the real program with
code 0, and what the user set is kept: the simulated camera looks at its
tilted specimen while its focus sweeps, the user turns Zoom And Align off and
starts stacking, and SIGTERM comes while the stacking worker is fusing a
frame (its thread is using CPU), then once more right after Start. The
program is given 30 s to end: a loaded machine takes seconds, a program that
waits for something that never comes does not end at all. How fast it ends
is bench/bench_terminate_focus.py's figure."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (FOCUS_WORKER, Checks, Program, start_focus_stacking, start_x, thread_cpu_ms,  # noqa: E402
                      wait_until)

CAMERA = "4:tilt=0.005:sweep=4"
END_WITHIN = 30  # seconds

check = Checks()


def fusing(pid):
    """True while the worker is at work: its CPU time grows over 50 ms."""
    before = thread_cpu_ms(pid, FOCUS_WORKER)
    time.sleep(0.05)
    after = thread_cpu_ms(pid, FOCUS_WORKER)
    return before is not None and after is not None and after > before


def align_setting(folder):
    path = os.path.join(folder, "JingShenFormHigh.ini")
    if not os.path.exists(path):
        return None
    for line in open(path, encoding="utf-8"):
        if line.strip().startswith("isChecked="):
            return line.split("=", 1)[1].strip()
    return None


def terminate(p, moment):
    p.proc.send_signal(signal.SIGTERM)
    start = time.time()
    try:
        code = p.proc.wait(timeout=END_WITHIN)
    except subprocess.TimeoutExpired:
        p.proc.kill()
        p.proc.wait()
        code = "still running after %d s" % END_WITHIN
    p.log.close()
    print("%s: exit %s after %.2f s" % (moment, code, time.time() - start))
    check(code == 0, "a terminate request %s ends the program with code 0 (%s)" % (moment, code))


def main():
    xvfb, display = start_x()
    try:
        p = Program(display, CAMERA, "")
        start_focus_stacking(p, align_off=True)
        at_work = wait_until(lambda: fusing(p.proc.pid), timeout=180, step=0.05)
        check(at_work, "the stacking worker fuses frames")
        terminate(p, "while the worker fuses a frame")
        check(align_setting(p.dir) == "false", "Zoom And Align, turned off, stays off in JingShenFormHigh.ini "
              "(%s)" % align_setting(p.dir))

        p = Program(display, CAMERA, "")
        start_focus_stacking(p)
        terminate(p, "right after Start")
    finally:
        xvfb.terminate()
        xvfb.wait()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
