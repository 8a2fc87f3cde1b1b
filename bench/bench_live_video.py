#!/usr/bin/python3
"""Live video in the real program under Xvfb (1920 x 1080) with a simulated
USB camera: frames shown per second, the process's CPU, and how the
interface loop kept its 16 ms step (longest gap between passes; the share of
its time the thread was blocked inside a pass: wall minus thread CPU of the
pass work, over the run). The program prints the loop figures itself when
SEVRIN_LOOP_STATS is set. Reference: the camera's own rate (fps=30).

usage: bench_live_video.py [SIM_USB_SPEC]; the model sets the format:
"1:fps=30" 1080p MJPG, "4:fps=30" 4K NV12, "6:fps=30" 4K MJPG.
"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
from sevrin_x import Program, start_x  # noqa: E402

OPEN_BUTTON = (531, 54)  # the device panel's open button at 1920 x 1080
SECONDS = 10


def cpu_ticks(pid):
    f = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return int(f[11]) + int(f[12])


def main():
    spec = sys.argv[1] if len(sys.argv) > 1 else "1:fps=30"
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    xvfb, display = start_x()
    try:
        p = Program(display, spec, "")
        p.click(OPEN_BUTTON, wait=4.0)
        log = p.file("log.txt")
        mark = os.path.getsize(log)
        c0, t0 = cpu_ticks(p.proc.pid), time.time()
        time.sleep(SECONDS)
        cpu = (cpu_ticks(p.proc.pid) - c0) / os.sysconf("SC_CLK_TCK") / (time.time() - t0) * 100
        text = open(log).read()[mark:]
        p.stop()
    finally:
        xvfb.kill()
    rows = [dict(zip(("ms", "passes", "gap", "wall", "cpu", "shown"), map(float, m))) for m in re.findall(
        r"loop: (\S+) ms passes (\S+) longest_gap_ms (\S+) work_wall_ms (\S+) work_cpu_ms (\S+) shown (\S+)", text)]
    if not rows:
        print("no loop figures: the program did not run the live view")
        return 1
    total = sum(r["ms"] for r in rows)
    shown = sum(r["shown"] for r in rows) / total * 1000
    blocked = sum(r["wall"] - r["cpu"] for r in rows) / total * 100
    print("camera %s, %d s: shown %.1f frames/s (camera 30), process CPU %.0f%% of a core" %
          (spec, len(rows), shown, cpu))
    print("interface loop: %.1f passes/s, longest gap %.1f ms (median of seconds %.1f), blocked %.1f%% of the time" %
          (sum(r["passes"] for r in rows) / total * 1000, max(r["gap"] for r in rows),
           sorted(r["gap"] for r in rows)[len(rows) // 2], blocked))
    return 0


if __name__ == "__main__":
    sys.exit(main())
