#!/usr/bin/python3
"""The real program under a virtual X server, without and with a window
manager: while the parameter-set dialog or the Args Lock password dialog is
open over the live view of a 30 fps camera, the live picture keeps changing
and the program shows at least 80 % of the camera's frames (its own
once-a-second loop figures, SEVRIN_LOOP_STATS)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (Checks, Program, changed_outside, coloured_share, loop_seconds, process_windows,  # noqa: E402
                      start_openbox, start_x, wait_until, wait_new_window)

OPEN_BUTTON = (531, 54)
TAB_PARAMS = (30, 113)
ARGS_BUTTON = (438, 895)  # "参数模版" on the parameter panel, interface size factor 10
LOCK_BOX = (99, 895)      # "参数锁定"
PANEL_GREY = (239, 239, 239)
VIEW = (600, 200, 1890, 790)
CAMERA_FPS = 30

check = Checks()


def live_behind(display, opener, what, label):
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    p = Program(display, "4:fps=%d" % CAMERA_FPS, "")
    try:
        p.click(OPEN_BUTTON, wait=0)
        p.wait_for("live", lambda img: coloured_share(img, VIEW) > 0.05)
        p.click(TAB_PARAMS, wait=0)
        p.wait_for("panel", lambda img: img.getpixel(opener) != (210, 210, 210))
        known = process_windows(p.env, p.proc.pid)
        log = p.file("log.txt")
        p.click(opener, wait=0)
        box = wait_new_window(p.env, p.proc.pid, known)
        check(box is not None, "the %s opens, %s" % (what, label))
        if box is None:
            return
        opened_at = os.path.getsize(log)
        first = p.shot("dialog_open")
        later = p.wait_for("dialog_later", lambda img: changed_outside(first, img, VIEW, box) > 20, timeout=10)
        check(changed_outside(first, later, VIEW, box) > 20,
              "the live picture changes while the %s is open, %s" % (what, label))
        # Whole seconds that ran inside the dialog's own loop.
        seconds = wait_until(lambda: [s for s in loop_seconds(log, opened_at) if s["nested"] > 0][1:3]
                             if len([s for s in loop_seconds(log, opened_at) if s["nested"] > 0]) >= 3 else None,
                             timeout=20)
        rates = [s["shown"] * 1000.0 / s["ms"] for s in seconds or []]
        check(bool(rates) and min(rates) >= 0.8 * CAMERA_FPS,
              "frames shown per second with the %s open are at least 80 %% of the camera's %d: %s, %s" %
              (what, CAMERA_FPS, ", ".join("%.1f" % r for r in rates), label))
        check(process_windows(p.env, p.proc.pid) - known, "the %s is still open, %s" % (what, label))
    finally:
        # Leaving a modal dialog is not what this checks: the process ends here.
        p.proc.kill()
        p.proc.wait(timeout=20)
        p.log.close()


def main():
    xvfb, display = start_x()
    try:
        for label in ("without a window manager", "with a window manager"):
            wm = start_openbox(display) if label.startswith("with a") else None
            try:
                live_behind(display, ARGS_BUTTON, "parameter-set dialog", label)
                live_behind(display, LOCK_BOX, "password dialog", label)
            finally:
                if wm:
                    wm.terminate()
                    wm.wait(timeout=10)
    finally:
        xvfb.terminate()
        xvfb.wait(timeout=10)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
