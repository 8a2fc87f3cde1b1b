#!/usr/bin/python3
"""How long the real program takes to end after SIGTERM while focus stacking
runs, against the same request during plain live video (the reference: the
same camera, the same window, no stacking), interleaved, round after round.

Input: one simulated USB camera (model 4, 3840 x 2160 NV12) looking at its
tilted specimen while its focus sweeps (SEVRIN_SIM_USB="4:tilt=0.005:sweep=4"),
the program at its default settings (Zoom And Align on) under Xvfb at
1920 x 1080, as a user starts stacking: open the camera, the composite tab,
the focus-stacking page, Start. The request goes out once the stacking worker
has fused for a while (its thread has run 300 ms of CPU), plus a seeded
random 0-1.5 s, so that it lands anywhere in a pass; the live reference waits
the same. The program and the busy loops beside it are pinned to the same
cores.

Figures per run: wall time from the signal to the process's end (its exit
status collected), and the CPU time all threads of the program used in it
(the process's CPU time before the signal, threads that have ended
included, against its whole usage collected at its end). With --steps, the
time from the signal to each step of the way out that the program reports
(SEVRIN_EXIT_TRACE): the request seen, the worker asked to stop, out of
its loop and its 4K buffers given back, the live loop's end, the camera
closed, the windows deleted, main's return; and the median of each step at
the end. The time from main's return to the end is the system freeing what
the process still holds.

Busy loops: --busy K on the program's cores (--cores), or --busy-all to run
one on every core of the machine besides (the program's cores included
unless --busy-others).

usage: bench_terminate_focus.py [--rounds N] [--cores 6,7] [--busy K] [--busy-all] [--steps] [--keep]
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
from sevrin_x import (FOCUS_WORKER, LIVE_VIEW, OPEN_BUTTON, SEVRIN, Program, lit_share,  # noqa: E402
                      start_focus_stacking, start_x, thread_cpu_ms, wait_until)

CAMERA = "4:tilt=0.005:sweep=4"


def process_cpu_ms(pid):
    """CPU time of process pid so far, threads that have ended included (as
    the usage collected at its end counts them), in ms (10 ms steps)."""
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / os.sysconf("SC_CLK_TCK")


def exit_steps(folder, signal_ms):
    """The program's reported steps (name, ms after the signal), in order."""
    steps = []
    try:
        for line in open(os.path.join(folder, "log.txt"), errors="replace"):
            if line.startswith("exit-trace "):
                _, at, name = line.rstrip("\n").split(" ", 2)
                steps.append((name, float(at) - signal_ms))
    except OSError:
        pass
    return steps


def one_run(display, cores, stacking, pause):
    p = Program(display, CAMERA, "", cores=cores, extra_env={"SEVRIN_EXIT_TRACE": "1"})
    try:
        if stacking:
            start_focus_stacking(p)
            if not wait_until(lambda: (thread_cpu_ms(p.proc.pid, FOCUS_WORKER) or 0) > 300, timeout=120):
                raise RuntimeError("the stacking worker never ran")
        else:
            p.click(OPEN_BUTTON, until=lambda img: lit_share(img, LIVE_VIEW) > 0.5, timeout=60)
        time.sleep(pause)
        before = process_cpu_ms(p.proc.pid)
        start = time.monotonic()
        p.proc.send_signal(signal.SIGTERM)
        _, status, usage = os.wait4(p.proc.pid, 0)
        wall = (time.monotonic() - start) * 1000
        p.proc.returncode = os.waitstatus_to_exitcode(status)
        cpu = (usage.ru_utime + usage.ru_stime) * 1000 - before
        p.log.flush()
        return wall, cpu, p.proc.returncode, p.dir, exit_steps(p.dir, start * 1000)
    finally:
        if p.proc.returncode is None:
            p.proc.kill()
            p.proc.wait()
        p.log.close()


def median(values):
    v = sorted(values)
    return v[len(v) // 2] if len(v) % 2 else (v[len(v) // 2 - 1] + v[len(v) // 2]) / 2


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=6)
    ap.add_argument("--cores", default="6,7", help="cores of the program and the busy loops; empty: unpinned")
    ap.add_argument("--busy", type=int, default=3, help="busy loops on those cores beside the program")
    ap.add_argument("--busy-all", action="store_true", help="also one busy loop on every core of the machine")
    ap.add_argument("--busy-others", action="store_true",
                    help="with --busy-all: only on the cores outside --cores")
    ap.add_argument("--steps", action="store_true", help="print the time of each step of the way out")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep", action="store_true", help="keep each run's folder (its log.txt) and print it")
    args = ap.parse_args()
    if not os.path.exists(SEVRIN):
        print("missing %s: build it first (ninja -C build Sevrin)" % SEVRIN)
        return 1
    cores = {int(c) for c in args.cores.split(",")} if args.cores else None
    print("machine: %d cores; program pinned to %s with %d busy loops beside it%s" %
          (os.cpu_count(), sorted(cores) if cores else "all cores", args.busy,
           "; one busy loop on every core%s" % (" outside them" if args.busy_others else "") if args.busy_all else ""))
    print("input: SEVRIN_SIM_USB=%s (3840x2160 NV12), Zoom And Align on; SIGTERM once the stacking worker has run "
          "300 ms of CPU, plus a seeded 0-1.5 s; reference: the same wait in plain live video" % CAMERA)
    busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"],
                             preexec_fn=(lambda: os.sched_setaffinity(0, cores)) if cores else None)
            for _ in range(args.busy)]
    if args.busy_all:
        others = [c for c in sorted(os.sched_getaffinity(0)) if not (args.busy_others and cores and c in cores)]
        busy += [subprocess.Popen([sys.executable, "-c", "while True: pass"],
                                  preexec_fn=(lambda c=c: os.sched_setaffinity(0, {c}))) for c in others]
    xvfb, display = start_x()
    rng = random.Random(args.seed)
    results = {True: [], False: []}
    steps = {True: {}, False: {}}
    try:
        for r in range(args.rounds):
            order = (True, False) if r % 2 == 0 else (False, True)
            pause = rng.uniform(0.0, 1.5)
            for stacking in order:
                wall, cpu, code, folder, marks = one_run(display, cores, stacking, pause)
                results[stacking].append((wall, cpu))
                for name, at in marks:
                    steps[stacking].setdefault(name, []).append(at)
                print("round %d %-9s exit %s after %7.0f ms wall, %6.0f ms CPU (load %.1f)%s" %
                      (r + 1, "stacking" if stacking else "live", code, wall, cpu, os.getloadavg()[0],
                       "  " + folder if args.keep else ""))
                if args.steps:
                    print("    " + ", ".join("%s %.0f" % (name, at) for name, at in marks))
                if not args.keep:
                    shutil.rmtree(folder, ignore_errors=True)
    finally:
        for b in busy:
            b.kill()
            b.wait()
        xvfb.terminate()
        xvfb.wait()
    for stacking in (True, False):
        walls = [w for w, _ in results[stacking]]
        cpus = [c for _, c in results[stacking]]
        if walls:
            print("%-9s SIGTERM to exit: median %6.0f ms, max %6.0f ms wall; median %5.0f ms CPU" %
                  ("stacking" if stacking else "live", median(walls), max(walls), median(cpus)))
    if args.steps:
        for stacking in (True, False):
            print("%-9s steps (median ms after the signal): %s" % (
                "stacking" if stacking else "live",
                ", ".join("%s %.0f" % (name, median(at)) for name, at in steps[stacking].items())))
    if results[True] and results[False]:
        print("ratio stacking / live (medians of wall time): %.2f" %
              (median([w for w, _ in results[True]]) / median([w for w, _ in results[False]])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
