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
from sevrin_x import (PANELS, Checks, Program, focus_start_shown, lit_share, start_x,  # noqa: E402
                      wait_until)

OPEN_BUTTON = (531, 54)
TAB_COMPOSITE = (29, 238)
TAB_FOCUS = (442, 49)
START = (313, 557)
ALIGN_BOX = (77, 516)  # the Zoom And Align check box
VIEW = (650, 200, 1850, 600)
CAMERA = "4:tilt=0.005:sweep=4"
WORKER = "ThreadJingShenH"  # the stacking worker's thread (its class name, cut to 15 characters)
END_WITHIN = 30  # seconds

check = Checks()


def worker_cpu_ms(pid):
    """CPU time the stacking worker's thread has used; None while it has none."""
    total = None
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return None
    for tid in tasks:
        try:
            if open("/proc/%d/task/%s/comm" % (pid, tid)).read().strip() != WORKER:
                continue
            total = (total or 0) + int(open("/proc/%d/task/%s/schedstat" % (pid, tid)).read().split()[0]) / 1e6
        except OSError:
            continue
    return total


def fusing(pid):
    """True while the worker is at work: its CPU time grows over 50 ms."""
    before = worker_cpu_ms(pid)
    time.sleep(0.05)
    after = worker_cpu_ms(pid)
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


def start_stacking(display, align_off):
    p = Program(display, CAMERA, "")
    p.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=60)
    p.click(TAB_COMPOSITE, changes=PANELS, timeout=60)
    p.click(TAB_FOCUS, until=focus_start_shown, timeout=60)
    if align_off:
        p.click(ALIGN_BOX, changes=(ALIGN_BOX[0] - 8, ALIGN_BOX[1] - 8, ALIGN_BOX[0] + 8, ALIGN_BOX[1] + 8))
    p.click(START)
    return p


def main():
    xvfb, display = start_x()
    try:
        p = start_stacking(display, align_off=True)
        at_work = wait_until(lambda: fusing(p.proc.pid), timeout=180, step=0.05)
        check(at_work, "the stacking worker fuses frames")
        terminate(p, "while the worker fuses a frame")
        check(align_setting(p.dir) == "false", "Zoom And Align, turned off, stays off in JingShenFormHigh.ini "
              "(%s)" % align_setting(p.dir))

        p = start_stacking(display, align_off=False)
        terminate(p, "right after Start")
    finally:
        xvfb.terminate()
        xvfb.wait()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
