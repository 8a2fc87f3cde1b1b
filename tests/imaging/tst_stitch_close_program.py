#!/usr/bin/python3
"""Stitching Close in the real program under a virtual X server, with the
simulated stage panning by itself (SEVRIN_SIM_STAGE=pan): round after round,
Start, then Close once the mosaic shows (or once it has grown), and live
video always comes back with Close greyed until the next Start. A line
measured before the first Start leaves the data table with the shape: the
switch to the stitching resolution deleted it. Under an address-space limit
of 1 GB (as `prlimit --as`) a 4K camera's round still builds its mosaic and
Close still brings live video back. Close of stitching, and of focus
stacking after it, gives back what the run took: the program's resident
memory comes back within 100 MB of what it was before the first Start of
that kind, round after round (ten of focus stacking: what a run's threads
leave in a heap a trim misses shows in one Close of several)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import sevrin_x as x  # noqa: E402

OPEN_BUTTON = (531, 54)
TAB_MEASURE = (29, 181)
TAB_COMPOSITE = (29, 240)
LINE_TOOL = (125, 305)
PLAY = (108, 517)
CLOSE = (437, 555)
CLOSE_TEXT = (415, 545, 460, 566)  # the Close button's text: black when it can be pressed
PLAY_TEXT = (168, 508, 212, 528)  # Start's text, likewise
CAPTURE_BAR = (800, 54)  # black while the mosaic view takes its place
VIEW = (600, 200, 1890, 790)
MOSAIC_VIEW = (580, 40, 1910, 1040)
FIRST_NAME = (615, 900, 715, 926)  # the data table's first name cell
ROUNDS = 6
FOCUS_CLOSE = (438, 605)
FOCUS_CLOSE_TEXT = (416, 595, 460, 616)  # black when it can be pressed
MB = 1 << 20
RETURNED = 100 * MB  # what a Close may leave resident of a run (libraries it loaded, heap pages)


def dark_pixels(img, box):
    return sum(1 for r, g, b in img.crop(box).getdata() if r + g + b < 150)


def stitching(img):
    """The mosaic view shows a mosaic (the capture bar is gone)."""
    return sum(img.getpixel(CAPTURE_BAR)) == 0 and x.lit_share(img, MOSAIC_VIEW) > 0.02


def close_ready(img):
    return stitching(img) and dark_pixels(img, CLOSE_TEXT) > 20


def play_ready(img):
    """Live video, Start can be pressed and Close cannot."""
    return live(img) and dark_pixels(img, PLAY_TEXT) > 20 and dark_pixels(img, CLOSE_TEXT) == 0


def live(img):
    """Live video under the interface again, with its capture bar."""
    return sum(img.getpixel(CAPTURE_BAR)) > 0 and x.coloured_share(img, VIEW) > 0.05


def resident(pid):
    return int(open("/proc/%d/statm" % pid).read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def memory_returned_at_close(display, check):
    """Three rounds of stitching and ten of focus stacking with a 4K camera:
    each run takes hundreds of MB, each Close gives them back."""
    p = x.Program(display, "14:tilt=0.005:sweep=4", "", extra_env={"SEVRIN_SIM_STAGE": "pan"})
    p.click(OPEN_BUTTON, until=live, timeout=30)
    p.click(TAB_COMPOSITE)
    p.wait_for("play_ready_memory", play_ready, timeout=60)
    before = resident(p.proc.pid)

    def closed_and_returned(what, close, taken):
        p.click(close)
        back = x.wait_until(lambda: resident(p.proc.pid) <= before + RETURNED, timeout=60)
        check(back, "%s: Close gives the run's memory back (%d MB while it ran, %d MB after Close, %d MB before "
              "Start)" % (what, taken // MB, resident(p.proc.pid) // MB, before // MB))

    try:
        for n in range(1, 4):
            check(play_ready(p.wait_for("play_ready_memory", play_ready, timeout=60)), "stitching %d can start" % n)
            p.click(PLAY)
            check(close_ready(p.wait_for("stitch_memory", close_ready, timeout=90)), "stitching %d: mosaic" % n)
            closed_and_returned("stitching %d" % n, CLOSE, resident(p.proc.pid))
        p.wait_for("play_ready_focus", play_ready, timeout=60)  # live video at the camera's own resolution
        p.click(x.TAB_FOCUS, until=x.focus_start_shown, timeout=60)
        before = resident(p.proc.pid)
        for n in range(1, 11):
            p.click(x.FOCUS_START)
            check(x.wait_until(lambda: resident(p.proc.pid) > before + 6 * RETURNED, timeout=120),
                  "focus stacking %d takes its memory (a 4K stack at work holds a gigabyte or so)" % n)
            # The camera's pictures for the run take memory before the panel has
            # prepared its first frame and lets Close be pressed: on busy cores
            # a click that came first met a greyed Close, and the run went on.
            p.wait_for("focus_close_ready", lambda img: dark_pixels(img, FOCUS_CLOSE_TEXT) > 20, timeout=120)
            closed_and_returned("focus stacking %d" % n, FOCUS_CLOSE, resident(p.proc.pid))
    finally:
        if p.proc.poll() is None:
            check(p.stop() == 0, "the program ends with exit code 0 after the memory rounds")


def main():
    check = x.Checks()
    xvfb, display = x.start_x()
    p = None
    try:
        memory_returned_at_close(display, check)
        p = x.Program(display, "4", "", extra_env={"SEVRIN_SIM_STAGE": "pan"})
        p.click(OPEN_BUTTON, until=live, timeout=30)
        p.click(TAB_MEASURE)
        a, b = (760, 310), (1110, 470)
        x.measure_with_tool(p, LINE_TOOL, [a, b], (a[0] - 10, a[1] - 60, b[0] + 220, b[1] + 60))
        shown = p.wait_for("table_row", lambda img: dark_pixels(img, FIRST_NAME) > 20, timeout=20)
        check(dark_pixels(shown, FIRST_NAME) > 20, "the measured line is listed in the data table")
        p.click(TAB_COMPOSITE)
        for n in range(1, ROUNDS + 1):
            ready = p.wait_for("play_ready", play_ready, timeout=60)
            check(play_ready(ready), "round %d: live video, Start can be pressed and Close is greyed" % n)
            p.click(PLAY)
            first = p.wait_for("stitch_start", close_ready, timeout=90)
            check(close_ready(first), "round %d: the mosaic shows and Close can be pressed" % n)
            if n % 2 == 0:
                # The stage pans on: the mosaic grows before this Close.
                grown = p.wait_for("stitch_grown", lambda img: x.lit_share(img, MOSAIC_VIEW) >
                                   1.3 * x.lit_share(first, MOSAIC_VIEW), timeout=90)
                check(stitching(grown), "round %d: the mosaic grew" % n)
            back = p.click(CLOSE, until=live, timeout=60)
            check(live(back), "round %d: Close brings live video back" % n)
            if n == 1:
                check(dark_pixels(back, FIRST_NAME) == 0, "the deleted line is no longer in the data table")
            if not live(back):
                break
        check(p.proc.poll() is None, "the program is still running")
        check(p.stop() == 0, "the program ends with exit code 0")
        p = x.Program(display, "14", "", extra_env={"SEVRIN_SIM_STAGE": "pan"}, address_space=1 << 30)
        p.click(OPEN_BUTTON, until=live, timeout=30)
        p.click(TAB_COMPOSITE)
        p.wait_for("play_ready_1gb", play_ready, timeout=60)
        p.click(PLAY)
        first = p.wait_for("stitch_start_1gb", close_ready, timeout=90)
        check(close_ready(first), "within 1 GB: the mosaic shows and Close can be pressed")
        back = p.click(CLOSE, until=live, timeout=60)
        check(live(back), "within 1 GB: Close brings live video back")
        check(p.proc.poll() is None, "within 1 GB: the program is still running")
    finally:
        if p and p.proc.poll() is None:
            check(p.stop() == 0, "the program ends with exit code 0")
        x.stop_x(xvfb)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
