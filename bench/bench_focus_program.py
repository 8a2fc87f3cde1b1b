#!/usr/bin/python3
"""Focus stacking in the whole program: frames fused a second and CPU per
fused frame, this build against another build of the program (--reference,
the folder holding its Sevrin), the two taking turns round after round
under one X server.

Input: the simulated 4K camera (model 4, 3840 x 2160 NV12) looking at its
tilted specimen while its focus sweeps through the depth and back
(SEVRIN_SIM_USB "4:tilt=0.005:sweep=4"), the program at its default settings
(Zoom And Align on), started as a user does: open the camera, the composite
tab, the focus-stacking page, Start. Measured from the first fused frame the
view shows, for --seconds: the frames fused (the view shows each fused
picture once: its changes are counted on screenshots of the view, taken
back to back, which is well above the rate of fusion), the CPU time of
the whole process and of the stacking worker's thread.

Figures per run: fused frames a second, process CPU seconds and worker CPU
seconds per fused frame, the process's cores (CPU seconds a second) and its
page faults per fused frame; at the end the median of each arm and ours /
reference. The reference may be a folder holding a script named Sevrin that
execs a program (the same build under other settings, for instance).

Busy loops: --busy K runs K busy loops on each of the program's cores
(--cores, which the programs are pinned to).

usage: bench_focus_program.py --reference BUILD_DIR [--rounds N] [--seconds S] [--cores 4,5,6,7] [--busy K]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
import sevrin_x as x  # noqa: E402
from PIL import ImageChops  # noqa: E402

CAMERA = "4:tilt=0.005:sweep=4"


def process_cpu_s(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def page_faults(pid):
    return int(open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()[7])


def one_run(display, program, seconds, cores):
    x.SEVRIN = program
    p = x.Program(display, CAMERA, "", cores=cores)
    try:
        pid = p.proc.pid
        x.start_focus_stacking(p)
        shown = p.grab().crop(x.LIVE_VIEW)
        # The first fused picture: the view leaves the live picture it held at Start.
        first = x.wait_until(lambda: ImageChops.difference(p.grab().crop(x.LIVE_VIEW), shown).getbbox(),
                             timeout=120, step=0.05)
        if not first:
            return None
        shown = p.grab().crop(x.LIVE_VIEW)
        faults0 = page_faults(pid)
        cpu0, worker0, t0 = process_cpu_s(pid), x.thread_cpu_ms(pid, x.FOCUS_WORKER) or 0.0, time.monotonic()
        fused = 0
        while time.monotonic() - t0 < seconds:
            now = p.grab().crop(x.LIVE_VIEW)
            if ImageChops.difference(now, shown).getbbox():
                fused += 1
                shown = now
        cpu1, worker1, t1 = process_cpu_s(pid), x.thread_cpu_ms(pid, x.FOCUS_WORKER) or 0.0, time.monotonic()
        faults = page_faults(pid) - faults0
        if not fused:
            return None
        return (fused / (t1 - t0), (cpu1 - cpu0) / fused, (worker1 - worker0) / 1000 / fused,
                (cpu1 - cpu0) / (t1 - t0), faults / fused)
    finally:
        p.proc.terminate()
        p.proc.wait(timeout=120)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reference", required=True)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=40.0)
    ap.add_argument("--cores", default=None)
    ap.add_argument("--busy", type=int, default=0)
    args = ap.parse_args()
    ours = x.SEVRIN
    reference = os.path.join(args.reference, "Sevrin")
    cores = {int(c) for c in args.cores.split(",")} if args.cores else None
    busy = [subprocess.Popen(["taskset", "-c", str(c), "sh", "-c", "while :; do :; done"])
            for c in sorted(cores or []) for _ in range(args.busy)]
    xvfb, display = x.start_x()
    figures = {"ours": [], "reference": []}
    try:
        for r in range(args.rounds):
            arms = [("ours", ours), ("reference", reference)]
            for name, program in arms if r % 2 == 0 else arms[::-1]:
                got = one_run(display, program, args.seconds, cores)
                print("round %d %-9s " % (r + 1, name) + (
                    "%.2f fused/s, %.2f s process CPU and %.2f s worker CPU per fused frame, process %.2f cores, "
                    "%.0f page faults per fused frame" % got if got
                    else "no fused frame"), flush=True)
                if got:
                    figures[name].append(got)
    finally:
        x.stop_x(xvfb)
        for b in busy:
            b.kill()
            b.wait()
    med = {k: [statistics.median(f[i] for f in v) for i in range(5)] for k, v in figures.items() if v}
    for k, m in med.items():
        print("median %-9s %.2f fused/s, %.2f s process CPU, %.2f s worker CPU per fused frame, %.2f cores, "
              "%.0f page faults per fused frame" % (k, *m))
    if len(med) == 2:
        print("ours / reference: fused/s %.2f, process CPU per fused frame %.2f, worker CPU per fused frame %.2f, "
              "cores %.2f, page faults per fused frame %.2f" % tuple(a / b for a, b in zip(med["ours"], med["reference"])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
