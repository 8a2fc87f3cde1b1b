#!/usr/bin/python3
"""Live video in the real program under Xvfb (1920 x 1080) with a simulated
USB camera at 30 fps, interleaved with a reference player, round after round.

Ours: frames shown per second and how many of the camera's frames were not
shown, the process's CPU, and how the interface loop kept its 16 ms step
(the program prints its own figures once a second when SEVRIN_LOOP_STATS is
set): the longest gap between two passes, and the share of the time the
thread was blocked inside a pass (wall minus thread CPU of the pass work,
over the run). Reference: ffplay showing frames of the same format and size,
at 30 fps, scaled to the size the program draws its picture at (read from
the program's figures), from a short clip looped from the page cache: its
CPU and the frames it dropped. Every figure is printed with the machine's
load average over its run (1-minute figure at start and end); compare
figures only at a load below the machine's core count.

usage: bench_live_video.py [--rounds N] [CASE...]
CASE: a SEVRIN_SIM_USB spec, "@1080" appended for the 1080p setting
(./OtherSet.ini Resolution=1). The default cases: 1080p MJPG ("1:fps=30"),
1080p NV12 ("4:fps=30@1080"), 4K NV12 ("4:fps=30"), 4K MJPG ("6:fps=30").
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
from sevrin_x import Program, coloured_share, loop_seconds, start_x, wait_until  # noqa: E402

OPEN_BUTTON = (531, 54)  # the device panel's open button at 1920 x 1080
VIEW = (600, 200, 1890, 790)
SECONDS = 10
CAMERA_FPS = 30
DEFAULT_CASES = ["1:fps=30", "4:fps=30@1080", "4:fps=30", "6:fps=30"]
# What the models send: pixel format and 4K size (1080p with the setting).
MODEL_FORMAT = {"1": "mjpeg", "4": "nv12", "6": "mjpeg"}


def cpu_ticks(pid):
    f = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return int(f[11]) + int(f[12])


def load():
    return os.getloadavg()[0]


def case_geometry(case):
    spec, _, res = case.partition("@")
    model = spec.split(":")[0]
    size = (1920, 1080) if res == "1080" or model == "1" else (3840, 2160)
    return spec, res == "1080", MODEL_FORMAT.get(model, "nv12"), size


def run_ours(display, case):
    spec, p1080, _, _ = case_geometry(case)
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    app_dir = tempfile.mkdtemp(prefix="sevrin-bench-")
    if p1080:
        with open(os.path.join(app_dir, "OtherSet.ini"), "w") as f:
            f.write("[General]\nResolution=1\n")
    p = Program(display, spec, "", app_dir=app_dir)
    try:
        p.click(OPEN_BUTTON)
        p.wait_for("live", lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
        log = p.file("log.txt")
        # Two whole seconds of live video before measuring (the stream settles).
        start = os.path.getsize(log)
        wait_until(lambda: len(loop_seconds(log, start)) >= 2, timeout=30)
        mark = os.path.getsize(log)
        l0, c0, t0 = load(), cpu_ticks(p.proc.pid), time.time()
        wait_until(lambda: len(loop_seconds(log, mark)) >= SECONDS, timeout=SECONDS * 3)
        cpu = (cpu_ticks(p.proc.pid) - c0) / os.sysconf("SC_CLK_TCK") / (time.time() - t0) * 100
        l1 = load()
        text = open(log, errors="replace").read()[mark:]
    finally:
        p.stop()
    rows = loop_seconds(log, mark)[:SECONDS]
    pictures = re.findall(r"picture (\d+)x(\d+)", text)
    picture = tuple(map(int, pictures[-1])) if pictures else (1264, 711)
    if not rows:
        return None, picture
    total = sum(r["ms"] for r in rows)
    shown = sum(r["shown"] for r in rows)
    return {
        "shown_fps": shown / total * 1000,
        "not_shown": max(0.0, CAMERA_FPS * total / 1000 - shown),
        "cpu": cpu,
        "passes": sum(r["passes"] for r in rows) / total * 1000,
        "gap": max(r["gap"] for r in rows),
        "blocked": sum(r["wall"] - r["cpu"] for r in rows) / total * 100,
        "load": (l0, l1),
    }, picture


def make_clip(folder, fmt, size):
    """Ten frames of a moving test pattern in the camera's format, 30 fps."""
    path = os.path.join(folder, "clip_%s_%dx%d.nut" % (fmt, size[0], size[1]))
    if not os.path.exists(path):
        codec = ["-c:v", "mjpeg", "-q:v", "3", "-pix_fmt", "yuvj420p"] if fmt == "mjpeg" else \
            ["-c:v", "rawvideo", "-pix_fmt", fmt]
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=%dx%d:rate=%d" % (size[0], size[1], CAMERA_FPS), "-frames:v", "10"] + codec +
                       [path], check=True)
    return path


def run_reference(display, clip, picture):
    env = dict(os.environ, DISPLAY=display)
    env.pop("SDL_VIDEODRIVER", None)
    err = tempfile.TemporaryFile()
    proc = subprocess.Popen(["ffplay", "-loglevel", "error", "-stats", "-loop", "0", "-an", "-x", str(picture[0]),
                             "-y", str(picture[1]), clip], env=env, stdout=subprocess.DEVNULL, stderr=err)
    try:
        # Running once its status line reports playback.
        def playing():
            err.seek(0)
            return b"M-V" in err.read()
        wait_until(playing, timeout=30)
        l0, c0, t0 = load(), cpu_ticks(proc.pid), time.time()
        end = t0 + SECONDS
        while time.time() < end and proc.poll() is None:
            time.sleep(0.2)  # a measuring period, not a wait for a state
        cpu = (cpu_ticks(proc.pid) - c0) / os.sysconf("SC_CLK_TCK") / (time.time() - t0) * 100
        l1 = load()
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:  # ffplay sometimes hangs on its way out
            proc.kill()
            proc.wait()
    err.seek(0)
    drops = re.findall(rb"fd=\s*(\d+)", err.read())
    return {"cpu": cpu, "dropped": int(drops[-1]) if drops else -1, "load": (l0, l1)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=2)
    ap.add_argument("cases", nargs="*", default=DEFAULT_CASES)
    args = ap.parse_args()
    print("machine: %d cores" % os.cpu_count())
    xvfb, display = start_x()
    clips = tempfile.mkdtemp(prefix="sevrin-clips-")
    failed = False
    try:
        for case in args.cases:
            _, _, fmt, size = case_geometry(case)
            clip = make_clip(clips, fmt, size)
            print("== %s: %s %dx%d at %d fps, %d s per run" % (case, fmt, size[0], size[1], CAMERA_FPS, SECONDS))
            for r in range(args.rounds):
                ours, picture = run_ours(display, case)
                if ours is None:
                    print("  round %d ours: no loop figures (the live view did not run)" % (r + 1))
                    failed = True
                    continue
                print("  round %d ours:   shown %.1f/s (%.0f of the camera's frames not shown), CPU %.0f%%, "
                      "%.1f passes/s, longest gap %.1f ms, blocked %.1f%%   [load %.1f -> %.1f]" %
                      (r + 1, ours["shown_fps"], ours["not_shown"], ours["cpu"], ours["passes"], ours["gap"],
                       ours["blocked"], ours["load"][0], ours["load"][1]))
                ref = run_reference(display, clip, picture)
                print("  round %d ffplay: %dx%d, CPU %.0f%%, dropped %d   [load %.1f -> %.1f]   ours/ffplay CPU %.2f" %
                      (r + 1, picture[0], picture[1], ref["cpu"], ref["dropped"], ref["load"][0], ref["load"][1],
                       ours["cpu"] / ref["cpu"] if ref["cpu"] > 0 else float("nan")))
    finally:
        xvfb.kill()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
