#!/usr/bin/python3
"""The real program's start under a virtual X server: the window is painted
first and the camera scan fills it in right after, so once the interface
shows, the device panel lists the cameras, offers the one chosen last time,
and opens it."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import Checks, Program, coloured_share, lit_share, start_x, started, stop_x  # noqa: E402

OPEN_BUTTON = (531, 54)
VIEW = (600, 200, 1890, 790)  # part of the view area that the picture covers
# Share of strongly coloured pixels in VIEW: the USB specimen's discs cover
# about 0.10 of it, the network camera's picture under 0.04.
USB_DISCS, NOT_USB = 0.08, 0.06
USB, NET = "4", "0@192.168.1.10"
NET_NAME = "Halder:192.168.1.10"

check = Checks()


def main():
    xvfb, display = start_x()
    try:
        # No choice stored: the first USB camera is offered and opens.
        p = Program(display, USB, NET)
        check(started(p.shot("started")), "the camera list is drawn once the interface shows")
        live = p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > USB_DISCS, timeout=30)
        check(coloured_share(live, VIEW) > USB_DISCS, "the USB camera offered first opens and shows its specimen (coloured %.3f)" %
              coloured_share(live, VIEW))
        check(p.stop() == 0, "the program ends with code 0")

        # The network camera chosen last time is the one offered and opened.
        folder = tempfile.mkdtemp(prefix="sevrin-startup-")
        with open(os.path.join(folder, "deviceForm.ini"), "w") as f:
            f.write("[General]\nLastCameraName=%s\n" % NET_NAME)
        q = Program(display, USB, NET, app_dir=folder)
        net = q.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
        check(lit_share(net, VIEW) > 0.5, "the camera chosen last time opens")
        check(coloured_share(net, VIEW) < NOT_USB, "it is the network camera, not the USB specimen (coloured %.3f)" %
              coloured_share(net, VIEW))
        check(q.stop() == 0, "the program ends with code 0")
    finally:
        stop_x(xvfb)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
