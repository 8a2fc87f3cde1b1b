#!/usr/bin/python3
"""Recording while live, in the real program under Xvfb (1920 x 1080): a
simulated 1080p MJPG camera at 30 frames a second (model 1, which records
every second frame into a 15 fps file), measured in turns for 10 s live
alone (the reference) and 10 s while recording. Per turn: frames shown per
second and the interface loop's longest gap (the program's own figures, with
SEVRIN_LOOP_STATS), the process's CPU, the load average; per recording the
file's frames and duration (ffprobe) and so its rate.

usage: bench_recording_live.py [rounds] [SIM_USB_SPEC]   (default 2, "1:fps=30")
"""
import glob
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
from sevrin_x import Program, start_x, wait_until  # noqa: E402

OPEN_BUTTON = (531, 54)
RECORD = (723, 54)  # the red stop button takes its place while recording
SECONDS = 10


def cpu_ticks(pid):
    f = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return int(f[11]) + int(f[12])


def red_stop_shown(img):
    r, g, b = img.getpixel(RECORD)
    return r > 180 and g < 90 and b < 90


def measure(p):
    log = p.file("log.txt")
    mark = os.path.getsize(log)
    c0, t0 = cpu_ticks(p.proc.pid), time.time()
    time.sleep(SECONDS)
    cpu = (cpu_ticks(p.proc.pid) - c0) / os.sysconf("SC_CLK_TCK") / (time.time() - t0) * 100
    text = open(log, errors="replace").read()[mark:]
    rows = [dict(zip(("ms", "passes", "gap", "wall", "cpu", "shown"), map(float, m))) for m in re.findall(
        r"loop: (\S+) ms passes (\S+) longest_gap_ms (\S+) work_wall_ms (\S+) work_cpu_ms (\S+) shown (\S+)", text)]
    total = sum(r["ms"] for r in rows) or 1
    return {"shown": sum(r["shown"] for r in rows) / total * 1000, "gap": max([r["gap"] for r in rows] or [0]),
            "cpu": cpu, "load": os.getloadavg()[0]}


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                          "stream=nb_read_packets:format=duration", "-of", "default=nw=1:nk=1", path],
                         capture_output=True, text=True).stdout.split()
    return int(out[0]), float(out[1])


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 2
    spec = sys.argv[2] if len(sys.argv) > 2 else "1:fps=30"
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    xvfb, display = start_x()
    try:
        p = Program(display, spec, "")
        p.click(OPEN_BUTTON, wait=4.0)
        print("camera %s; each turn %d s" % (spec, SECONDS))
        print("%-10s %6s %9s %12s %8s %6s  %s" % ("turn", "round", "shown/s", "longest gap", "CPU %", "load",
                                                 "file"))
        for r in range(rounds):
            m = measure(p)
            print("%-10s %6d %9.1f %9.1f ms %8.0f %6.1f" % ("live", r + 1, m["shown"], m["gap"], m["cpu"], m["load"]))
            before = set(glob.glob(p.file("Export/Video/*.mp4")))
            p.click(RECORD)
            p.wait_for("recording", red_stop_shown, timeout=30)
            m = measure(p)
            p.click(RECORD)
            files = wait_until(lambda: set(glob.glob(p.file("Export/Video/*.mp4"))) - before, timeout=30)
            time.sleep(2)  # the file is finished a moment after the click
            file_text = "none"
            if files:
                frames, duration = probe(sorted(files)[0])
                file_text = "%d frames in %.2f s: %.1f fps" % (frames, duration, frames / duration if duration else 0)
            print("%-10s %6d %9.1f %9.1f ms %8.0f %6.1f  %s" % ("recording", r + 1, m["shown"], m["gap"], m["cpu"],
                                                               m["load"], file_text))
            time.sleep(2)
        drops = re.findall(r"dropped (\d+) frames while the encoder was behind", open(p.file("log.txt"),
                                                                                    errors="replace").read())
        print("frames the recorder dropped because its encoder was behind:", ", ".join(drops) or "none")
        print("program folder:", p.dir)
        p.stop()
    finally:
        xvfb.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
