#!/usr/bin/python3
"""A USB snapshot that cannot be taken, in the real program: a simulated MJPG
camera whose frames all arrive cut short (cut=N). The snap click shows the
program's "Error" box and the snap button is free again afterwards, without
and with a window manager."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import Checks, Program, coloured_share, without_and_with_window_manager  # noqa: E402

OPEN_BUTTON = (531, 54)
SNAP_BUTTON = (665, 54)
VIEW = (600, 200, 1890, 790)

check = Checks()


def error_box(env):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Error$"], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return out.stdout.split()[0] if out.stdout.split() else None


def snap_button_free(img):
    """The snap button is drawn unpressed: not the checked (blue) face."""
    x, y = SNAP_BUTTON
    r, g, b = img.getpixel((x - 12, y - 12))
    return not (b > 150 and r < 100)


def dropped_snapshot(display, label):
    # Model 1 sends MJPG only.
    p = Program(display, "1:cut=100000000", "")
    folder = p.dir
    p.click(OPEN_BUTTON, wait=1.0)
    p.wait_for("drop_live_" + label, lambda img: coloured_share(img, VIEW) > 0.02)
    p.click(SNAP_BUTTON, wait=0.5)
    box = None
    end = time.time() + 20
    while box is None and time.time() < end:
        box = error_box(p.env)
        time.sleep(0.3)
    p.shot("drop_box_" + label)
    check(box is not None, "the lost snapshot shows the Error box, " + label)
    pictures = [n for n in os.listdir(os.path.join(folder, "Export", "Image"))] \
        if os.path.isdir(os.path.join(folder, "Export", "Image")) else []
    check(pictures == [], "and writes no picture, " + label)
    if box:
        subprocess.run(["xdotool", "key", "--window", box, "Return"], env=p.env)
        time.sleep(0.5)
    after = p.shot("drop_after_" + label)
    check(snap_button_free(after), "the snap button is free again, " + label)
    # Clicked again, it answers again (a second box): the busy state ended.
    p.click(SNAP_BUTTON, wait=0.5)
    again = None
    end = time.time() + 20
    while again is None and time.time() < end:
        again = error_box(p.env)
        time.sleep(0.3)
    check(again is not None, "a second click is taken and reported too, " + label)
    check(p.stop() == 0, "the program ends with code 0, " + label)


def main():
    without_and_with_window_manager(dropped_snapshot)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
