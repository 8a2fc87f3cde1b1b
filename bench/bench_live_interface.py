#!/usr/bin/python3
"""What a shown live frame costs the interface thread, in the real program
under Xvfb (1920 x 1080) with a simulated USB camera at 30 fps, against a
reference build of the program (another Sevrin executable, e.g. the previous
version's), interleaved round after round in one run.

Beside them runs the floor: bench/LiveFloorWindow (our own, Qt Widgets
alone), a frameless translucent window whose lowest child paints a ready
picture of the program's size and place 30 times a second through update(),
paintEvent and drawImage; what the window design costs a shown frame at the
very least on this machine.

Each program runs pinned to two cores of its own (taskset on every thread;
by default the machine's last two), with the X server on the same cores,
while the rest of the machine does what
it does (--busy N adds N busy processes pinned to the other cores). The
program prints its own loop figures once a second (SEVRIN_LOOP_STATS): over
10 s of live video, the interface thread's CPU time per shown frame (thread
CPU of the loop's passes, which include painting, over the frames shown),
the wall time of that work per shown frame, the frames shown per second and
the longest gap between two passes of the loop. Beside the loop's own
figure, the main thread's whole CPU time over the same window (from
/proc/PID/task/PID/schedstat: the passes, the loop's rests, everything) per
shown frame; for the floor only that one.

Input: the simulator's specimen (grid, discs, texture, moving mark) in the
camera's own format and size: 4K NV12 (model 14, 3840 x 2160), 4K MJPG
(model 6), 1080p NV12 (model 4 at the 1080p setting), 1080p MJPG (model 1).

With --perf DIR, each run also records the interface thread (the main
thread) for PERF_SECONDS after the measured window (perf record with DWARF
call chains, so that the stripped Qt libraries still show their callers) into
DIR, and prints the heaviest symbols with the share of their callers' trees
(the backing store's clear of the see-through window, the picture's blit,
the render step...).

usage: bench_live_interface.py --reference PATH [--floor PATH] [--rounds N] [--cores A,B] [--x-cores A,B|any]
                               [--busy N] [--nice N] [--perf DIR] [CASE...]
CASE: a SEVRIN_SIM_USB spec, "@1080" appended for the 1080p setting.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
import sevrin_x  # noqa: E402
from sevrin_x import Program, coloured_share, loop_seconds, start_x, wait_until  # noqa: E402

OPEN_BUTTON = (531, 54)  # the device panel's open button at 1920 x 1080
VIEW = (600, 200, 1890, 790)
SECONDS = 10
PERF_SECONDS = 4
# Where the interface thread's time goes, by inclusive share.
PERF_SYMBOLS = ["QBackingStore::beginPaint", "VideoWidget::paintEvent", "ItemLayer::paintEvent",
                "QBackingStore::flush", "SDLBackground::renderFrame", "QWidgetPrivate::drawWidget",
                "QEventDispatcherGlib::processEvents"]
DEFAULT_CASES = ["14:fps=30", "6:fps=30", "4:fps=30@1080", "1:fps=30"]


def profile(pid, out):
    """Records the main thread for PERF_SECONDS; the inclusive shares of PERF_SYMBOLS."""
    subprocess.run(["perf", "record", "-q", "--call-graph", "dwarf,16384", "-t", str(pid), "-o", out, "--",
                    "sleep", str(PERF_SECONDS)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    report = subprocess.run(["perf", "report", "-i", out, "--children", "--sort", "symbol", "--stdio", "-g", "none"],
                            capture_output=True, text=True).stdout
    shares = {}
    for line in report.splitlines():
        parts = line.split()
        if len(parts) >= 4 and parts[0].endswith("%") and parts[3] in PERF_SYMBOLS:
            shares.setdefault(parts[3], float(parts[0].rstrip("%")))
    return shares


NICE = None  # --nice: the scheduling nice value of the programs' and the X server's threads


def renice(pid):
    """Gives every thread of pid the nice value NICE (threads started later inherit it)."""
    if NICE is None:
        return
    tids = os.listdir("/proc/%d/task" % pid)
    subprocess.run(["renice", "-n", str(NICE), "-p"] + tids, check=True, stdout=subprocess.DEVNULL)


def main_thread_cpu_ms(pid):
    """CPU time (ms) the main thread of process pid has used."""
    with open("/proc/%d/task/%d/schedstat" % (pid, pid)) as f:
        return int(f.read().split()[0]) / 1e6


class Floor:
    """The floor window, started as Program starts ours: pinned, its figures in log.txt."""

    def __init__(self, display, binary, cores):
        self.dir = tempfile.mkdtemp(prefix="sevrin-floor-")
        self.log = open(os.path.join(self.dir, "log.txt"), "a")
        env = sevrin_x.private_env(self.dir, display)
        self.proc = subprocess.Popen([binary], cwd=self.dir, env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                     preexec_fn=lambda: os.sched_setaffinity(0, set(int(c) for c in cores.split(","))))
        self.display = display

    def file(self, rel):
        return os.path.join(self.dir, rel)

    def wait_shown(self):
        wait_until(lambda: coloured_share(sevrin_x.grab(self.display), VIEW) > 0.05, timeout=60)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)
        self.log.close()


def run(display, binary, case, cores, perf_out=None, floor=False):
    spec, _, res = case.partition("@")
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    if floor:
        p = Floor(display, binary, cores)
    else:
        app_dir = tempfile.mkdtemp(prefix="sevrin-bench-")
        if res == "1080":
            with open(os.path.join(app_dir, "OtherSet.ini"), "w") as f:
                f.write("[General]\nResolution=1\n")
        sevrin_x.SEVRIN = binary
        p = Program(display, spec, "", app_dir=app_dir)
    try:
        renice(p.proc.pid)
        if floor:
            p.wait_shown()
        else:
            subprocess.run(["taskset", "-a", "-p", "-c", cores, str(p.proc.pid)], check=True,
                           stdout=subprocess.DEVNULL)
            p.click(OPEN_BUTTON)
            p.wait_for("live", lambda img: coloured_share(img, VIEW) > 0.05, timeout=60)
            # Threads started by the camera inherit the mask; pin once more all the same.
            subprocess.run(["taskset", "-a", "-p", "-c", cores, str(p.proc.pid)], check=True,
                           stdout=subprocess.DEVNULL)
            renice(p.proc.pid)
        log = p.file("log.txt")
        start = os.path.getsize(log)
        wait_until(lambda: len(loop_seconds(log, start)) >= 2, timeout=60)
        mark = os.path.getsize(log)
        l0 = os.getloadavg()[0]
        c0, t0 = main_thread_cpu_ms(p.proc.pid), time.monotonic()
        wait_until(lambda: len(loop_seconds(log, mark)) >= SECONDS, timeout=SECONDS * 4)
        c1, t1 = main_thread_cpu_ms(p.proc.pid), time.monotonic()
        l1 = os.getloadavg()[0]
        shares = profile(p.proc.pid, perf_out) if perf_out else {}
    finally:
        p.stop()
    rows = loop_seconds(log, mark)[:SECONDS]
    total = sum(r["ms"] for r in rows)
    shown = sum(r["shown"] for r in rows)
    fps = shown / total * 1000 if total else 0
    return {
        "cpu_per_frame": sum(r["cpu"] for r in rows) / max(1, shown),
        "wall_per_frame": sum(r["wall"] for r in rows) / max(1, shown),
        "main_per_frame": (c1 - c0) / ((t1 - t0) * fps) if fps else float("nan"),
        "fps": fps,
        "gap": max(r["gap"] for r in rows) if rows else float("nan"),
        "load": (l0, l1),
        "perf": shares,
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reference", required=True, help="the Sevrin executable to compare with")
    ap.add_argument("--floor", default=os.path.join(os.path.dirname(sevrin_x.SEVRIN), "bench", "LiveFloorWindow"),
                    help="the floor window (bench/LiveFloorWindow of the build)")
    ap.add_argument("--rounds", type=int, default=3)
    n = os.cpu_count()
    ap.add_argument("--cores", default="%d,%d" % (n - 2, n - 1))
    ap.add_argument("--busy", type=int, default=0)
    ap.add_argument("--x-cores", help="cores for the X server: the programs' cores by default, \"any\" leaves it free")
    ap.add_argument("--nice", type=int,
                    help="nice value for the programs and the X server (e.g. -10): on a machine shared with "
                         "other work that lands on the programs' cores, what comes nearest to cores of their own")
    ap.add_argument("--perf", help="folder for a profile of the interface thread of every run")
    ap.add_argument("cases", nargs="*", default=DEFAULT_CASES)
    args = ap.parse_args()
    global NICE
    NICE = args.nice
    ours = os.path.join(os.path.dirname(sevrin_x.SEVRIN), "Sevrin")
    print("machine: %d cores; programs pinned to cores %s; ours %s, reference %s, floor %s" %
          (n, args.cores, ours, args.reference, args.floor))
    pinned = set(int(c) for c in args.cores.split(","))
    others = [c for c in range(n) if c not in pinned]
    busy = [subprocess.Popen(["taskset", "-c", str(others[i % len(others)]), "python3", "-c", "while True: pass"])
            for i in range(args.busy)]
    xvfb, display = start_x()
    # The X server does the program's display work (every flush is read by it,
    # every repaint waits for it to have read the last one): it runs on the
    # program's cores, as part of what the program has to itself.
    x_cores = args.x_cores or args.cores
    if x_cores != "any":
        subprocess.run(["taskset", "-a", "-p", "-c", x_cores, str(xvfb.pid)], check=True, stdout=subprocess.DEVNULL)
    renice(xvfb.pid)
    try:
        for case in args.cases:
            print("== %s, %d s per run" % (case, SECONDS))
            sums = {"ours": [], "reference": [], "floor": []}
            for r in range(args.rounds):
                order = [("ours", ours), ("reference", args.reference), ("floor", args.floor)]
                order = order[r % 3:] + order[:r % 3]
                for name, binary in order:
                    perf_out = None
                    if args.perf:
                        os.makedirs(args.perf, exist_ok=True)
                        perf_out = os.path.join(args.perf, "%s-%s-r%d.data" % (
                            name, case.replace(":", "_").replace("@", "_"), r + 1))
                    f = run(display, binary, case, args.cores, perf_out, floor=name == "floor")
                    sums[name].append(f)
                    loop = "" if name == "floor" else "loop passes %.2f ms/frame (wall %.2f), " % (
                        f["cpu_per_frame"], f["wall_per_frame"])
                    # The floor's ticks come every 33 ms: its gap says nothing.
                    gap = "" if name == "floor" else ", longest gap %.1f ms" % f["gap"]
                    print("  round %d %-9s main thread %.2f ms/frame, %sshown %.1f/s%s   [load %.1f -> %.1f]" %
                          (r + 1, name, f["main_per_frame"], loop, f["fps"], gap, f["load"][0], f["load"][1]))
                    if f["perf"]:
                        print("      interface thread: " + ", ".join(
                            "%s %.0f%%" % (k, f["perf"][k]) for k in PERF_SYMBOLS if k in f["perf"]))
            def median(name, key):
                # A run that never showed its picture (the machine too busy) has no figure.
                values = sorted(x[key] for x in sums[name] if x[key] == x[key])
                return values[len(values) // 2] if values else float("nan")
            med = {k: median(k, "cpu_per_frame") for k in ("ours", "reference")}
            main_med = {k: median(k, "main_per_frame") for k in sums}
            gaps = {k: max(x["gap"] for x in v) for k, v in sums.items()}
            print("  median loop-pass CPU per frame: ours %.2f ms, reference %.2f ms, ratio %.2f; "
                  "longest gap ours %.1f ms, reference %.1f ms" %
                  (med["ours"], med["reference"], med["ours"] / med["reference"] if med["reference"] else
                   float("nan"), gaps["ours"], gaps["reference"]))
            print("  median main-thread CPU per frame: ours %.2f ms, reference %.2f ms, floor %.2f ms; "
                  "ours over the floor %.2f ms" %
                  (main_med["ours"], main_med["reference"], main_med["floor"], main_med["ours"] - main_med["floor"]))
    finally:
        xvfb.kill()
        for b in busy:
            b.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
