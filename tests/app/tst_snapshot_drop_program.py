#!/usr/bin/python3
"""A USB snapshot that cannot be taken, in the real program: a simulated MJPG
camera whose frames all arrive cut short (cut=N). The snap click shows the
program's "Error" box and the snap button is free again afterwards, without
and with a window manager."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (Checks, Program, coloured_share, interface_shown, wait_until,  # noqa: E402
                      without_and_with_window_manager)

OPEN_BUTTON = (531, 54)
SNAP_BUTTON = (665, 54)
VIEW = (600, 200, 1890, 790)

check = Checks()


def error_box(env):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Error$"], env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return out.stdout.split()[0] if out.stdout.split() else None


def close_box(p, box):
    """Answers the box with Return as a user does (the box has the keyboard
    first: a key sent to a window without it may stay pressed) and waits until
    it has gone."""
    subprocess.run(["xdotool", "windowactivate", "--sync", box], env=p.env, stderr=subprocess.DEVNULL)
    subprocess.run(["xdotool", "windowfocus", "--sync", box], env=p.env, stderr=subprocess.DEVNULL)
    subprocess.run(["xdotool", "key", "Return"], env=p.env)
    wait_until(lambda: error_box(p.env) is None, timeout=10)


def snap_button_free(img):
    """The snap button is drawn unpressed: not the checked (blue) face."""
    x, y = SNAP_BUTTON
    r, g, b = img.getpixel((x - 12, y - 12))
    return not (b > 150 and r < 100)


def dropped_snapshot(display, label):
    # Model 1 sends MJPG only.
    p = Program(display, "1:cut=100000000", "")
    folder = p.dir
    p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.02, timeout=30)
    p.click(SNAP_BUTTON)
    box = wait_until(lambda: error_box(p.env), timeout=20)
    p.shot("drop_box_" + label)
    check(box is not None, "the lost snapshot shows the Error box, " + label)
    pictures = [n for n in os.listdir(os.path.join(folder, "Export", "Image"))] \
        if os.path.isdir(os.path.join(folder, "Export", "Image")) else []
    check(pictures == [], "and writes no picture, " + label)
    if box:
        close_box(p, box)
    after = p.wait_for("snap_free_" + label, lambda img: interface_shown(img) and snap_button_free(img), timeout=20)
    check(snap_button_free(after), "the snap button is free again, " + label)
    # Clicked again, it answers again (a second box): the busy state ended.
    p.click(SNAP_BUTTON)
    again = wait_until(lambda: error_box(p.env), timeout=20)
    check(again is not None, "a second click is taken and reported too, " + label)
    if again:
        close_box(p, again)
    check(p.stop() == 0, "the program ends with code 0, " + label)


def main():
    without_and_with_window_manager(dropped_snapshot)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
