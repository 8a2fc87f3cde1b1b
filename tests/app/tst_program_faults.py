#!/usr/bin/python3
"""The real program as a user meets it, under a virtual X server with and
without a window manager: the interface stays above its main window (start,
minimise and restore, full screen and back), a failed camera open ends the
program at once, a terminate request at any moment of the start ends it with
code 0, and damaged pictures in the program's folders never keep it from
starting."""
import os
import random
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from sevrin_x import SEVRIN, Checks, Program, wait_until, without_and_with_window_manager  # noqa: E402

from PIL import Image  # noqa: E402

LEFT_COLUMN = (300, 600)  # the device panel's background when the interface is on top
PANEL_GREY = (210, 210, 210)
MIN_BUTTON = (1758, 14)
FULL_SCREEN_BUTTON = (1865, 14)
OPEN_BUTTON = (531, 54)

check = Checks()


def interface_on_top(p, name):
    img = p.wait_for(name, lambda im: im.getpixel(LEFT_COLUMN) == PANEL_GREY, timeout=15)
    return img.getpixel(LEFT_COLUMN) == PANEL_GREY


def window_id(env, name):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=env,
                         capture_output=True, text=True).stdout.split()
    return out[0] if out else None


def stacking(display, with_wm):
    label = "with a window manager" if with_wm else "without a window manager"
    p = Program(display, "4", "")
    check(interface_on_top(p, "start"), "the interface is on top after start, " + label)
    p.click(FULL_SCREEN_BUTTON, wait=1.0)
    p.key("Escape")
    check(interface_on_top(p, "after_full_screen"), "the interface is on top after full screen and back, " + label)
    if with_wm:
        p.click(MIN_BUTTON, wait=1.0)
        main = window_id(p.env, "Varnel")
        if main:
            subprocess.run(["xdotool", "windowactivate", main], env=p.env)
        else:  # minimised windows are not "visible": activate by name anyway
            subprocess.run(["xdotool", "search", "--name", "Varnel", "windowactivate"], env=p.env)
        check(interface_on_top(p, "after_restore"), "the interface is on top after minimise and restore, " + label)
    check(p.stop() == 0, "terminate ends the program with code 0, " + label)


def handler_installed(pid):
    """True once the process catches SIGTERM (its own handler is in place)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return bool(int(line.split()[1], 16) & (1 << (signal.SIGTERM - 1)))
    except OSError:
        pass
    return False


def terminate_at_random_moments(display, tries=20):
    rng = random.Random(7)
    bad = []
    for i in range(tries):
        folder = tempfile.mkdtemp(prefix="sevrin-term-")
        env = dict(os.environ, DISPLAY=display, SEVRIN_APP_DIR=folder, SEVRIN_SIM_USB="4", SEVRIN_SIM_NET="",
                   QT_QPA_PLATFORM="xcb")
        env.pop("SDL_VIDEODRIVER", None)
        with open(os.path.join(folder, "log.txt"), "w") as log:
            proc = subprocess.Popen([SEVRIN], cwd=folder, env=env, stdout=log, stderr=subprocess.STDOUT)
            wait_until(lambda: handler_installed(proc.pid) or proc.poll() is not None, timeout=30)
            time.sleep(rng.uniform(0.0, 3.0))
            proc.send_signal(signal.SIGTERM)
            try:
                code = proc.wait(timeout=2.0 if i else 5.0)
            except subprocess.TimeoutExpired:
                proc.kill()
                code = "still running"
        if code != 0:
            bad.append(code)
    check(not bad, "%d terminate requests during the start all end the program with code 0 (%s)" % (tries, bad))


def failed_open_ends_at_once(display):
    p = Program(display, "4:fail=open", "")
    p.click(OPEN_BUTTON, wait=0.3)
    box = wait_until(lambda: window_id(p.env, "Error"), timeout=20)
    check(box is not None, "a camera that cannot open shows the Error box")
    subprocess.run(["xdotool", "key", "--window", box or "", "Return"], env=p.env)
    start = time.time()
    try:
        code = p.proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        code = None
    took = time.time() - start
    check(code == 0 and took < 1.0, "its OK ends the program within 1 s with code 0 (code %s, %.2f s)" % (code, took))
    if code is None:
        p.stop()


def damaged_bmp_header(path):
    # A BMP that claims 100000 x 100000 pixels and holds none.
    header = struct.pack("<2sIHHI", b"BM", 54, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, 100000, 100000, 1, 8, 0, 0, 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info)


def damaged_pictures_at_start(display):
    kinds = {
        "huge header": damaged_bmp_header,
        "1 x 60000": lambda path: Image.new("RGB", (1, 60000), (200, 30, 30)).save(path, "PNG"),
        "empty": lambda path: open(path, "wb").close(),
        "random bytes": lambda path: open(path, "wb").write(random.Random(3).randbytes(5000)),
    }
    for kind, make in kinds.items():
        folder = tempfile.mkdtemp(prefix="sevrin-damaged-")
        os.makedirs(os.path.join(folder, "pinjie"))
        os.makedirs(os.path.join(folder, "help"))
        make(os.path.join(folder, "pinjie", "YinYingData.bmp"))
        make(os.path.join(folder, "help", "companyInfo.png"))
        p = Program(display, "4", "", app_dir=folder)
        started = interface_on_top(p, "damaged")
        p.click(OPEN_BUTTON, wait=1.0)
        live = p.wait_for("damaged_live", lambda im: im.getpixel(LEFT_COLUMN) == PANEL_GREY, timeout=10)
        alive = p.proc.poll() is None
        check(started and alive and live.getpixel(LEFT_COLUMN) == PANEL_GREY,
              "damaged start pictures (%s): the program starts and opens a camera" % kind)
        check(p.stop() == 0, "and ends with code 0 (%s)" % kind)


def faults(display, label):
    with_wm = label.startswith("with ")
    stacking(display, with_wm=with_wm)
    failed_open_ends_at_once(display)
    if not with_wm:
        terminate_at_random_moments(display)
        damaged_pictures_at_start(display)


def main():
    without_and_with_window_manager(faults)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
