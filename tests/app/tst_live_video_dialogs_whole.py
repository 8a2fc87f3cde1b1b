#!/usr/bin/python3
"""The real program under a virtual X server, without and with a window
manager: while the parameter-set dialog or the Args Lock password dialog is
open over the live view of a 30 fps camera, the live picture keeps changing
(screenshot after screenshot), and the program's own once-a-second loop
figures (SEVRIN_LOOP_STATS) show frames in every second that ran inside the
dialog's loop. How many frames a second it shows is the live-loop
benchmark's figure, not this test's."""
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
CHANGES = 5

check = Checks()


def live_behind(display, opener, what, label):
    os.environ["SEVRIN_LOOP_STATS"] = "1"
    p = Program(display, "4:fps=%d" % CAMERA_FPS, "")
    try:
        p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
        p.click(TAB_PARAMS, until=lambda img: img.getpixel(opener) != (210, 210, 210))
        known = process_windows(p.env, p.proc.pid)
        log = p.file("log.txt")
        p.click(opener)
        box = wait_new_window(p.env, p.proc.pid, known)
        check(box is not None, "the %s opens, %s" % (what, label))
        if box is None:
            return
        opened_at = os.path.getsize(log)
        # Five changes in a row: the picture keeps changing, it did not
        # merely change once more as the dialog opened.
        changes = 0
        shot = p.shot("dialog_open")
        for _ in range(CHANGES):
            later = p.wait_for("dialog_later", lambda img: changed_outside(shot, img, VIEW, box) > 20, timeout=20)
            if changed_outside(shot, later, VIEW, box) <= 20:
                break
            changes, shot = changes + 1, later
        check(changes == CHANGES, "the live picture changes %d times in a row while the %s is open (%d), %s"
              % (CHANGES, what, changes, label))
        # Whole seconds that ran inside the dialog's own loop (the first,
        # begun before the dialog, left out) show frames: three of them. A
        # busy machine may leave the program a second without a frame now
        # and then (the camera's 4K frames take their time to decode); a
        # dialog's loop that does not show the live picture never shows one.
        def nested():
            return [s for s in loop_seconds(log, opened_at) if s["nested"] > 0][1:]

        def with_frames():
            seconds = nested()
            return seconds if sum(1 for s in seconds if s["shown"] > 0) >= 3 else None
        wait_until(with_frames, timeout=60)
        shown = [int(s["shown"]) for s in nested()]
        check(sum(1 for n in shown if n > 0) >= 3,
              "seconds inside the %s's loop show frames of the %d fps camera: %s, %s" %
              (what, CAMERA_FPS, ", ".join(str(n) for n in shown), label))
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
