#!/usr/bin/python3
"""Dialogs of the real program under a virtual X server, without a window
manager and under openbox: Escape closes each modal dialog of the camera and
measurement panels (and the program goes on), and still leaves full screen
when no dialog is open; a terminate request made while a modal dialog is open
ends the program with code 0 (within 30 s: a program that ignores it never
ends), and so does a close request of the main window."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (LEFT_COLUMN, PANEL_GREY, PANELS, Checks, Program, close_request, coloured_share,  # noqa: E402
                      interface_shown, one_new, titled_windows, wait_focus, wait_until, with_and_without_wm)

# Screen positions at 1920 x 1080 (interface size factor 10).
OPEN_BUTTON = (531, 54)
TAB_PARAMS = (30, 113)
TAB_MEASURE = (29, 181)
TAB_LINE = (29, 298)
TAB_SETTINGS = (29, 356)
ARGS_BUTTON = (438, 895)  # the parameter-set dialog
LOCK_BOX = (99, 895)  # the parameter lock asks for its password
FOLDER_BUTTON = (517, 169)  # the snapshot folder's chooser
DELETE_ALL = (515, 176)  # the cross lines' "Delete All" confirmation
NEW_SCALE = (95, 101)  # two clicks on the picture, then the scale dialog
FULL_SCREEN_BUTTON = (1865, 14)
VIEW = (600, 200, 1890, 790)

check = Checks()


def visible_windows(p):
    return titled_windows(p.env, ".")


def open_dialog(p, steps):
    """Runs steps (clicks); the id of the window they opened, or None."""
    before = visible_windows(p)
    steps()
    return one_new(lambda: visible_windows(p), before, timeout=30)


def dialog_gone(p, wid):
    return wid not in visible_windows(p)


def start_live(display):
    p = Program(display, "4", "")
    p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
    return p


# The clicks that open each dialog go to the interface window one after the
# other (X keeps their order); open_dialog waits for the window they open.
DIALOGS = [
    ("the parameter-set dialog", TAB_PARAMS, lambda p: p.click(ARGS_BUTTON)),
    ("the parameter lock's password dialog", TAB_PARAMS, lambda p: p.click(LOCK_BOX)),
    ("the snapshot folder's chooser", TAB_SETTINGS, lambda p: p.click(FOLDER_BUTTON)),
    ("the Delete All confirmation", TAB_LINE, lambda p: p.click(DELETE_ALL)),
    ("the scale dialog", TAB_MEASURE, lambda p: (p.click(NEW_SCALE), p.click((700, 560)), p.click((1000, 560)))),
]


def show_tab(p, tab):
    """Clicks a panel tab and waits until the panel shows, laid out: the
    column changed (unless the tab was open already) and two screenshots in a
    row show it the same. A click sent sooner may reach the column before the
    panel is in place, when a busy program takes both clicks at once."""
    if getattr(p, "open_tab", None) == tab:
        return
    before = p.shot("before_tab")
    p.click(tab, changes=PANELS, timeout=30)
    last = [before]

    def settled(img):
        done = last[0] is not before and last[0].crop(PANELS).tobytes() == img.crop(PANELS).tobytes()
        last[0] = img
        return done
    p.wait_for("tab_shown", settled, timeout=30)
    p.open_tab = tab


def escape_closes_dialogs(display, label):
    p = start_live(display)
    for name, tab, steps in DIALOGS:
        show_tab(p, tab)
        wid = open_dialog(p, lambda: steps(p))
        check(wid is not None, "%s opens, %s" % (name, label))
        if wid is None:
            continue
        # Escape goes to the window with the keyboard: the dialog, once it has it.
        check(wait_focus(p.env, wid), "%s takes the keyboard, %s" % (name, label))
        p.key("Escape")
        closed = wait_until(lambda: dialog_gone(p, wid), timeout=5)
        check(closed, "Escape closes %s, %s" % (name, label))
        if not closed:  # keep the rest of the run going
            subprocess.run(["xdotool", "windowunmap", wid], env=p.env)
        check(interface_shown(p.wait_interface()), "the interface is back above the main window after %s, %s"
              % (name, label))
        check(p.proc.poll() is None, "the program goes on after %s, %s" % (name, label))
    # Nothing open: Escape leaves full screen (the interface column comes back).
    show_tab(p, TAB_PARAMS)
    p.click(FULL_SCREEN_BUTTON, until=lambda img: img.getpixel(LEFT_COLUMN) != PANEL_GREY, timeout=10)
    p.key("Escape")
    back = p.wait_for("full_screen_left", lambda img: img.getpixel(LEFT_COLUMN) == PANEL_GREY, timeout=10)
    check(back.getpixel(LEFT_COLUMN) == PANEL_GREY, "Escape leaves full screen when no dialog is open, " + label)
    check(p.stop() == 0, "the program ends with code 0, " + label)


def terminate_with_dialog_open(display, label):
    for name, tab, steps, how in ((*DIALOGS[3], "terminate"), (*DIALOGS[2], "terminate"),
                                  (*DIALOGS[0], "terminate"), (*DIALOGS[3], "close request")):
        p = start_live(display)
        show_tab(p, tab)
        main_window = p.window("Varnel")
        wid = open_dialog(p, lambda: steps(p))
        check(wid is not None, "%s opens, %s" % (name, label))
        start = time.time()
        if how == "terminate":
            p.proc.send_signal(signal.SIGTERM)
        else:
            close_request(p.display, main_window)
        try:
            code = p.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = "still running"
        took = time.time() - start
        check(code == 0, "%s with %s open ends the program with code 0 (code %s, after %.2f s), %s"
              % (how, name, code, took, label))
        if code == "still running":
            p.proc.kill()
            p.proc.wait()


def main():
    def both(label):
        def run(display):
            escape_closes_dialogs(display, label)
            terminate_with_dialog_open(display, label)
        return run
    with_and_without_wm(both("without a window manager"), both("under openbox"))
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
