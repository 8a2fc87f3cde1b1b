#!/usr/bin/python3
"""Start-up of the real program under Xvfb (1920 x 1080) against a minimal Qt
window (bench/reference/MinimalQtWindow.cpp: a QApplication and one QWidget
linked against Qt Widgets alone), interleaved, round after round.

Each run starts the process and polls one screen pixel (the device panel's
grey column, where the reference's grey window shows the same grey) until it
shows; the time from starting the process to that pixel is the start-up.
Beside it, the CPU the process and its main thread had used by then (the
kernel's per-thread run time). The program runs with the cameras of the run
command (one simulated USB camera, one simulated network camera) in a fresh
folder of its own, as bash scripts/run.sh starts it. Both are then ended
and the screen is back to black before the next run. The machine's load
average is printed with every round; compare figures only at a load below
the machine's core count.

usage: bench_startup.py [--rounds N] [--cores A,B] [--busy]
--cores pins both programs and the X server to these cores, e.g. 6,7.
--busy runs a busy loop on every other core for the whole run (with --cores;
the two programs keep their cores, the rest of the machine is loaded).
"""
import argparse
import ctypes
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
from sevrin_x import BUILD, LEFT_COLUMN, PANEL_GREY, SEVRIN, private_env, start_x  # noqa: E402

REFERENCE = os.path.join(BUILD, "bench", "MinimalQtWindow")
GREY = (PANEL_GREY[0] << 16) | (PANEL_GREY[1] << 8) | PANEL_GREY[2]


class Pixel:
    """Reads one pixel of the root window through Xlib (a 1 x 1 XGetImage:
    a fraction of a millisecond, so the poll itself hardly delays the
    moment it sees)."""

    def __init__(self, display):
        self.x = ctypes.cdll.LoadLibrary("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.c_void_p
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XGetPixel.restype = ctypes.c_ulong
        self.x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def get(self, pos):
        img = self.x.XGetImage(self.dpy, self.root, pos[0], pos[1], 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        value = self.x.XGetPixel(ctypes.c_void_p(img), 0, 0) & 0xFFFFFF
        self.x.XDestroyImage(ctypes.c_void_p(img))
        return value


def thread_cpu_ms(pid):
    # schedstat: nanoseconds on a CPU of the main thread.
    return int(open("/proc/%d/task/%d/schedstat" % (pid, pid)).read().split()[0]) / 1e6


def process_cpu_ms(pid):
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            total += int(open("/proc/%d/task/%s/schedstat" % (pid, tid)).read().split()[0])
        except OSError:
            pass
    return total / 1e6


def run(pixel, display, command, cores, env, cwd):
    if cores:
        command = ["taskset", "-c", cores] + command
    start = time.monotonic()
    proc = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pid = proc.pid  # taskset execs the program in the same process
    try:
        while pixel.get(LEFT_COLUMN) != GREY:
            if proc.poll() is not None:
                raise RuntimeError("%s ended before its window showed" % command[-1])
            if time.monotonic() - start > 60:
                raise RuntimeError("%s showed no window in 60 s" % command[-1])
        wall = (time.monotonic() - start) * 1000
        main_cpu, cpu = thread_cpu_ms(pid), process_cpu_ms(pid)
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    # The screen shows no window any more before the next run starts.
    end = time.monotonic() + 20
    while pixel.get(LEFT_COLUMN) == GREY and time.monotonic() < end:
        time.sleep(0.01)
    return wall, main_cpu, cpu


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=10)
    ap.add_argument("--cores", default="")
    ap.add_argument("--busy", action="store_true")
    args = ap.parse_args()
    if args.busy and not args.cores:
        print("--busy needs --cores")
        return 1
    for path in (SEVRIN, REFERENCE):
        if not os.path.exists(path):
            print("missing %s: build it first (ninja -C build Sevrin MinimalQtWindow)" % path)
            return 1
    print("machine: %d cores%s" % (os.cpu_count(), ", both pinned to cores " + args.cores if args.cores else ""))
    print("start-up to the window's first painted pixel at %s, Xvfb 1920x1080x24, Sevrin with SEVRIN_SIM_USB=4 "
          "SEVRIN_SIM_NET=0@192.168.1.10" % (LEFT_COLUMN,))
    busy = []
    if args.busy:
        pinned = {int(c) for c in args.cores.split(",")}
        others = [c for c in sorted(os.sched_getaffinity(0)) if c not in pinned]
        busy = [subprocess.Popen(["taskset", "-c", str(c), "sh", "-c", "while :; do :; done"]) for c in others]
        print("busy loops on cores %s" % ",".join(str(c) for c in others))
    xvfb, display = start_x()
    if args.cores:
        # The X server draws both windows: it shares their cores.
        os.sched_setaffinity(xvfb.pid, {int(c) for c in args.cores.split(",")})
    ours_all, ref_all = [], []
    try:
        pixel = Pixel(display)
        for r in range(args.rounds):
            l0 = os.getloadavg()[0]
            folder = tempfile.mkdtemp(prefix="sevrin-startup-")
            env = private_env(folder, display)
            env.update(SEVRIN_APP_DIR=folder, SEVRIN_SIM_USB="4", SEVRIN_SIM_NET="0@192.168.1.10")
            ours = run(pixel, display, [SEVRIN], args.cores, env, folder)
            ref = run(pixel, display, [REFERENCE], args.cores, private_env(tempfile.mkdtemp(prefix="qt-min-"), display),
                      folder)
            ours_all.append(ours)
            ref_all.append(ref)
            print("  round %2d ours: %6.1f ms (CPU main thread %6.1f ms, process %6.1f ms) | minimal Qt window: "
                  "%6.1f ms (CPU %6.1f / %6.1f ms) | ratio %.2f   [load %.1f -> %.1f]" %
                  (r + 1, ours[0], ours[1], ours[2], ref[0], ref[1], ref[2], ours[0] / ref[0], l0,
                   os.getloadavg()[0]))
    finally:
        xvfb.kill()
        for b in busy:
            b.kill()
            b.wait()

    def median(values):
        values = sorted(values)
        return values[len(values) // 2]
    mo, mr = median([o[0] for o in ours_all]), median([r[0] for r in ref_all])
    print("median: ours %.1f ms (CPU main thread %.1f ms), minimal Qt window %.1f ms (CPU %.1f ms): ratio %.2f "
          "(goal: 2.0 or less)" % (mo, median([o[1] for o in ours_all]), mr, median([r[1] for r in ref_all]), mo / mr))
    return 0


if __name__ == "__main__":
    sys.exit(main())
