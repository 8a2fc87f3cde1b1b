#!/usr/bin/python3
"""The simulator's plug control from outside a running program: a live
simulated USB camera unplugged through the file SEVRIN_SIM_PLUG names leaves
the view, plugged back it shows live again; without and with a window
manager."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (Checks, Program, changed_pixels, coloured_share,  # noqa: E402
                      without_and_with_window_manager)

OPEN_BUTTON = (531, 54)
VIEW = (600, 200, 1890, 790)  # part of the view area that the picture covers

check = Checks()


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def unplug_and_replug(display, label):
    plug = os.path.join(tempfile.mkdtemp(prefix="sevrin-plug-"), "plug")
    os.environ["SEVRIN_SIM_PLUG"] = plug
    try:
        p = Program(display, "4", "")
    finally:
        del os.environ["SEVRIN_SIM_PLUG"]
    live = p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
    check(coloured_share(live, VIEW) > 0.05, "the simulated camera shows live, " + label)

    write(plug, "1\n")
    gone = p.wait_for("plug_unplugged_" + label, lambda img: coloured_share(img, VIEW) < 0.01)
    check(coloured_share(gone, VIEW) < 0.01, "unplugged through the file, the picture leaves the view, " + label)

    write(plug, "")
    back = p.wait_for("plug_back_" + label, lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
    check(coloured_share(back, VIEW) > 0.05, "plugged back, the picture shows again, " + label)
    later = p.wait_for("plug_back_later_" + label, lambda img: changed_pixels(back, img, VIEW) > 20, timeout=10)
    check(changed_pixels(back, later, VIEW) > 20, "and it is live (the moving mark moves), " + label)
    check(p.stop() == 0, "the program ends with code 0, " + label)


def main():
    without_and_with_window_manager(unplug_and_replug)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
