#!/usr/bin/python3
"""The real program as a user meets it, under a virtual X server with and
without a window manager: the interface stays above its main window (start,
minimise and restore, full screen and back) and is hidden and shown with it
when a window manager iconifies it, a failed camera open shows its box above
everything and its OK ends the program with code 0, a terminate request at any
moment of the start ends it with code 0, and damaged pictures in the program's
folders never keep it from starting. A program that should end is given 30 s:
a loaded machine takes seconds, a program that does not end never does."""
import os
import random
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from sevrin_x import (PANELS, SEVRIN, Checks, Program, coloured_share, interface_mapped, private_env,  # noqa: E402
                      wait_focus, wait_until, with_and_without_wm)

from PIL import Image, ImageChops  # noqa: E402

LEFT_COLUMN = (300, 600)  # the device panel's background when the interface is on top
PANEL_GREY = (210, 210, 210)
MIN_BUTTON = (1758, 14)
FULL_SCREEN_BUTTON = (1865, 14)
OPEN_BUTTON = (531, 54)
TAB_PARAMS, TAB_MEASURE = (30, 113), (29, 181)
VIEW = (600, 200, 1890, 790)
END_WITHIN = 30  # seconds

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
    p.click(FULL_SCREEN_BUTTON, until=lambda img: img.getpixel(LEFT_COLUMN) != PANEL_GREY, timeout=10)
    p.key("Escape")
    check(interface_on_top(p, "after_full_screen"), "the interface is on top after full screen and back, " + label)
    if not with_wm:
        # Nothing iconifies the main window: the interface stays. A click on
        # another panel's tab, handled after the minimise click, shows when
        # that has been handled.
        p.click(MIN_BUTTON)
        p.click(TAB_MEASURE, changes=PANELS)
        p.click(TAB_PARAMS, changes=PANELS)
        check(interface_mapped(p.env) and interface_on_top(p, "minimise_no_wm"),
              "minimise leaves the interface shown, " + label)
    if with_wm:
        p.click(MIN_BUTTON)
        check(wait_until(lambda: not interface_mapped(p.env), timeout=10),
              "minimise hides the interface window with its main window, " + label)
        hidden = p.wait_for("minimised", lambda im: im.getpixel(LEFT_COLUMN) != PANEL_GREY, timeout=10)
        check(hidden.getpixel(LEFT_COLUMN) != PANEL_GREY, "nothing of the interface shows while minimised, " + label)
        main = window_id(p.env, "Varnel")
        if main:
            subprocess.run(["xdotool", "windowactivate", main], env=p.env)
        else:  # minimised windows are not "visible": activate by name anyway
            subprocess.run(["xdotool", "search", "--name", "Varnel", "windowactivate"], env=p.env)
        check(wait_until(lambda: interface_mapped(p.env), timeout=10),
              "restore shows the interface window again, " + label)
        check(interface_on_top(p, "after_restore"), "the interface is on top after minimise and restore, " + label)
        # A second time round.
        p.click(MIN_BUTTON)
        check(wait_until(lambda: not interface_mapped(p.env), timeout=10), "a second minimise hides it, " + label)
        subprocess.run(["xdotool", "search", "--name", "Varnel", "windowactivate"], env=p.env)
        check(wait_until(lambda: interface_mapped(p.env), timeout=10) and interface_on_top(p, "after_restore_2"),
              "and a second restore shows it on top, " + label)
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
        env = private_env(folder, display)
        env.update(SEVRIN_APP_DIR=folder, SEVRIN_SIM_USB="4", SEVRIN_SIM_NET="")
        with open(os.path.join(folder, "log.txt"), "w") as log:
            proc = subprocess.Popen([SEVRIN], cwd=folder, env=env, stdout=log, stderr=subprocess.STDOUT)
            wait_until(lambda: handler_installed(proc.pid) or proc.poll() is not None, timeout=30)
            time.sleep(rng.uniform(0.0, 3.0))  # the moment of the request is the test's input
            proc.send_signal(signal.SIGTERM)
            try:
                code = proc.wait(timeout=END_WITHIN)
            except subprocess.TimeoutExpired:
                proc.kill()
                code = "still running"
        if code != 0:
            bad.append(code)
    check(not bad, "%d terminate requests during the start all end the program with code 0 (%s)" % (tries, bad))


def failed_open_ends_at_once(display, label):
    p = Program(display, "4:fail=open", "")
    before = p.shot("before_open")
    p.click(OPEN_BUTTON)
    box = wait_until(lambda: window_id(p.env, "Error"), timeout=20)
    check(box is not None, "a camera that cannot open shows the Error box, " + label)
    if box:
        # Above everything: where the box lies, the screen shows it.
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", box], env=p.env, capture_output=True,
                             text=True).stdout
        g = dict(line.split("=", 1) for line in out.split() if "=" in line)
        x, y, w, h = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        area = (x + 4, y + 4, x + w - 4, y + h - 4)

        def shown(img):
            diff = ImageChops.difference(before.crop(area), img.crop(area)).convert("L")
            return sum(1 for v in diff.getdata() if v > 30) > 0.3 * (w - 8) * (h - 8)
        check(shown(p.wait_for("error_box", shown, timeout=10)), "the Error box shows above everything, " + label)
    # Return as the user presses it, once the box has the keyboard. (A key
    # sent to a window that has not is delivered otherwise and may stay pressed.)
    check(wait_focus(p.env, box), "the Error box takes the keyboard, " + label)
    subprocess.run(["xdotool", "key", "Return"], env=p.env)
    start = time.time()
    try:
        code = p.proc.wait(timeout=END_WITHIN)
    except subprocess.TimeoutExpired:
        code = None
    took = time.time() - start
    check(code == 0, "its OK ends the program with code 0 (code %s, after %.2f s), %s" % (code, took, label))
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
        live = p.click(OPEN_BUTTON, until=lambda im: coloured_share(im, VIEW) > 0.05, timeout=30)
        alive = p.proc.poll() is None
        check(started and alive and live.getpixel(LEFT_COLUMN) == PANEL_GREY and coloured_share(live, VIEW) > 0.05,
              "damaged start pictures (%s): the program starts and opens a camera" % kind)
        check(p.stop() == 0, "and ends with code 0 (%s)" % kind)


def main():
    def without_wm(display):
        stacking(display, with_wm=False)
        failed_open_ends_at_once(display, "without a window manager")
        terminate_at_random_moments(display)
        damaged_pictures_at_start(display)

    def under_wm(display):
        stacking(display, with_wm=True)
        for _ in range(3):
            failed_open_ends_at_once(display, "under openbox")

    with_and_without_wm(without_wm, under_wm)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
