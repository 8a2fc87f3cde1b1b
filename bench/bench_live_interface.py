#!/usr/bin/python3
"""What a shown live frame costs the interface thread, in the real program
under Xvfb (1920 x 1080) with a simulated USB camera at 30 fps, against a
reference build of the program (another Sevrin executable, e.g. the previous
version's), interleaved round after round in one run.

Each program runs pinned to two cores of its own (taskset on every thread;
by default the machine's last two), while the rest of the machine does what
it does (--busy N adds N busy processes pinned to the other cores). The
program prints its own loop figures once a second (SEVRIN_LOOP_STATS): over
10 s of live video, the interface thread's CPU time per shown frame (thread
CPU of the loop's passes, which include painting, over the frames shown),
the wall time of that work per shown frame, the frames shown per second and
the longest gap between two passes of the loop.

Input: the simulator's specimen (grid, discs, texture, moving mark) in the
camera's own format and size: 4K NV12 (model 14, 3840 x 2160), 4K MJPG
(model 6), 1080p NV12 (model 4 at the 1080p setting), 1080p MJPG (model 1).

With --perf DIR, each run also records the interface thread (the main
thread) for PERF_SECONDS after the measured window (perf record with DWARF
call chains, so that the stripped Qt libraries still show their callers) into
DIR, and prints the heaviest symbols with the share of their callers' trees
(the backing store's clear of the see-through window, the picture's blit,
the render step...).

usage: bench_live_interface.py --reference PATH [--rounds N] [--cores A,B] [--busy N] [--perf DIR] [CASE...]
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


def run(display, binary, case, cores, perf_out=None):
    spec, _, res = case.partition("@")
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    app_dir = tempfile.mkdtemp(prefix="sevrin-bench-")
    if res == "1080":
        with open(os.path.join(app_dir, "OtherSet.ini"), "w") as f:
            f.write("[General]\nResolution=1\n")
    sevrin_x.SEVRIN = binary
    p = Program(display, spec, "", app_dir=app_dir)
    try:
        subprocess.run(["taskset", "-a", "-p", "-c", cores, str(p.proc.pid)], check=True, stdout=subprocess.DEVNULL)
        p.click(OPEN_BUTTON)
        p.wait_for("live", lambda img: coloured_share(img, VIEW) > 0.05, timeout=60)
        # Threads started by the camera inherit the mask; pin once more all the same.
        subprocess.run(["taskset", "-a", "-p", "-c", cores, str(p.proc.pid)], check=True, stdout=subprocess.DEVNULL)
        log = p.file("log.txt")
        start = os.path.getsize(log)
        wait_until(lambda: len(loop_seconds(log, start)) >= 2, timeout=60)
        mark = os.path.getsize(log)
        l0 = os.getloadavg()[0]
        wait_until(lambda: len(loop_seconds(log, mark)) >= SECONDS, timeout=SECONDS * 4)
        l1 = os.getloadavg()[0]
        shares = profile(p.proc.pid, perf_out) if perf_out else {}
    finally:
        p.stop()
    rows = loop_seconds(log, mark)[:SECONDS]
    total = sum(r["ms"] for r in rows)
    shown = sum(r["shown"] for r in rows)
    return {
        "cpu_per_frame": sum(r["cpu"] for r in rows) / max(1, shown),
        "wall_per_frame": sum(r["wall"] for r in rows) / max(1, shown),
        "fps": shown / total * 1000 if total else 0,
        "gap": max(r["gap"] for r in rows) if rows else float("nan"),
        "load": (l0, l1),
        "perf": shares,
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--reference", required=True, help="the Sevrin executable to compare with")
    ap.add_argument("--rounds", type=int, default=3)
    n = os.cpu_count()
    ap.add_argument("--cores", default="%d,%d" % (n - 2, n - 1))
    ap.add_argument("--busy", type=int, default=0)
    ap.add_argument("--perf", help="folder for a profile of the interface thread of every run")
    ap.add_argument("cases", nargs="*", default=DEFAULT_CASES)
    args = ap.parse_args()
    ours = os.path.join(os.path.dirname(sevrin_x.SEVRIN), "Sevrin")
    print("machine: %d cores; programs pinned to cores %s; ours %s, reference %s" %
          (n, args.cores, ours, args.reference))
    pinned = set(int(c) for c in args.cores.split(","))
    others = [c for c in range(n) if c not in pinned]
    busy = [subprocess.Popen(["taskset", "-c", str(others[i % len(others)]), "python3", "-c", "while True: pass"])
            for i in range(args.busy)]
    xvfb, display = start_x()
    try:
        for case in args.cases:
            print("== %s, %d s per run" % (case, SECONDS))
            sums = {"ours": [], "reference": []}
            for r in range(args.rounds):
                order = [("ours", ours), ("reference", args.reference)]
                if r % 2:
                    order.reverse()
                for name, binary in order:
                    perf_out = None
                    if args.perf:
                        os.makedirs(args.perf, exist_ok=True)
                        perf_out = os.path.join(args.perf, "%s-%s-r%d.data" % (
                            name, case.replace(":", "_").replace("@", "_"), r + 1))
                    f = run(display, binary, case, args.cores, perf_out)
                    sums[name].append(f)
                    print("  round %d %-9s interface CPU %.2f ms/frame (wall %.2f), shown %.1f/s, "
                          "longest gap %.1f ms   [load %.1f -> %.1f]" %
                          (r + 1, name, f["cpu_per_frame"], f["wall_per_frame"], f["fps"], f["gap"],
                           f["load"][0], f["load"][1]))
                    if f["perf"]:
                        print("      interface thread: " + ", ".join(
                            "%s %.0f%%" % (k, f["perf"][k]) for k in PERF_SYMBOLS if k in f["perf"]))
            med = {k: sorted(x["cpu_per_frame"] for x in v)[len(v) // 2] for k, v in sums.items()}
            gaps = {k: max(x["gap"] for x in v) for k, v in sums.items()}
            print("  median interface CPU per frame: ours %.2f ms, reference %.2f ms, ratio %.2f; "
                  "longest gap ours %.1f ms, reference %.1f ms" %
                  (med["ours"], med["reference"], med["ours"] / med["reference"] if med["reference"] else
                   float("nan"), gaps["ours"], gaps["reference"]))
    finally:
        xvfb.kill()
        for b in busy:
            b.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
