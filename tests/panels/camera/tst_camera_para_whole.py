#!/usr/bin/python3
"""The real program under a virtual X server: with a simulated USB camera
open, auto exposure switched off on the parameter panel and the gain slider
dragged to its right end, the live picture in the next screenshots is
brighter."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../app"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../support"))
from sevrin_x import coloured_share, wait_until  # noqa: E402
from tst_whole_program import OPEN_BUTTON, VIEW, Program, start_x  # noqa: E402

TAB_PARAMS = (30, 113)
AE_X = 438  # the auto-exposure button's column; its row depends on the model's rows
GAIN_ROW_Y = 182  # the gain slider's groove at interface size factor 10
GROOVE = (100, 530)


def brightness(img):
    region = img.crop(VIEW).resize(((VIEW[2] - VIEW[0]) // 8, (VIEW[3] - VIEW[1]) // 8))
    px = list(region.getdata())
    return sum(r + g + b for r, g, b in px) / (3.0 * len(px))


def checked_ae_y(img):
    """Row of the checked (blue) auto-exposure button, or None."""
    for y in range(600, 1000):
        r, g, b = img.getpixel((AE_X, y))
        if b > 200 and r < 120 and 130 < g < 180:
            return y
    return None


def handle_x(img):
    """Centre of the blue slider handle on the gain row, or None."""
    xs = [x for x in range(*GROOVE) if (lambda p: p[2] > 180 and p[0] < 90)(img.getpixel((x, GAIN_ROW_Y)))]
    return (xs[0] + xs[-1]) // 2 if xs else None


def main():
    xvfb, display = start_x()
    failures = []
    try:
        p = Program(display, "4", "")
        p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
        panel = p.click(TAB_PARAMS, until=lambda img: handle_x(img) is not None and checked_ae_y(img) is not None)
        x0 = handle_x(panel)
        if x0 is None:
            failures.append("the gain slider shows on the parameter panel")
        else:
            ae = checked_ae_y(panel)
            if ae is not None:
                # Auto exposure off: gain can be moved (a drag the panel drops
                # while it still waits for the camera's answers is made again
                # below, until the handle follows).
                p.click((AE_X, ae), until=lambda img: checked_ae_y(img) is None)
            before = brightness(p.shot("before"))
            after_img = None

            def dragged():
                nonlocal after_img
                x = handle_x(p.shot("handle"))
                if x is None:
                    return False
                p.xdo("mousemove", x, GAIN_ROW_Y, "mousedown", 1, "mousemove", x + 40, GAIN_ROW_Y, "mousemove",
                      GROOVE[1] + 20, GAIN_ROW_Y, "mouseup", 1)
                after_img = p.wait_for("after", lambda img: (handle_x(img) or 0) >= x0 + 100, timeout=5)
                return (handle_x(after_img) or 0) >= x0 + 100

            # A drag made while the panel is still busy with the camera's
            # answers may be dropped: drag again until the handle follows.
            wait_until(dragged, timeout=40, step=0.5)
            if after_img is None or handle_x(after_img) is None or handle_x(after_img) < x0 + 100:
                failures.append("the gain handle moved right")
            after_img = p.wait_for("after", lambda img: brightness(img) > before + 20)
            after = brightness(after_img)
            if not after > before + 20:
                failures.append("the picture brightens with the gain (%.1f -> %.1f)" % (before, after))
        code = p.stop()
        if code != 0:
            failures.append("the program ends with exit code 0 (got %s)" % code)
    finally:
        xvfb.terminate()
        xvfb.wait()
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
