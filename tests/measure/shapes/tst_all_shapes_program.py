#!/usr/bin/python3
"""The real program under a virtual X server: on live video from a simulated
USB camera, every measurement tool of the palette makes its shape (one shape
of each kind that has a class), each visible in its own cell of the picture,
and the data table lists their rows. Kinds without a palette tool (the near
and far variants, the line-pair distance, the concentric circles) are made
by the shape tests instead."""
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../support"))
import sevrin_x as w  # noqa: E402

SOURCE = os.environ.get("SEVRIN_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))

# Palette buttons (tool number -> screen point) with the left column at its
# default width, interface size factor 10.
COLS = [125, 215, 305, 394, 484]
TOOL_ROWS = [[0, 1, 2, 3, 4], [5, 6, 7, 8, 9], [10, 11, 12, 13, 14], [15, 17, 22, 23, 24]]
BUTTONS = {n: (COLS[c], 305 + 50 * r) for r, row in enumerate(TOOL_ROWS) for c, n in enumerate(row)}
BUTTONS.update({16: (COLS[0], 550), 25: (COLS[1], 550), 28: (COLS[2], 609)})
SPLITTER_X = 571  # the left column's right edge
TAB_MEASURE = (29, 181)
VIEW = (600, 200, 1890, 900)  # part of the view area that the picture covers

# Tool number -> (class, clicks as fractions of a cell, how it ends).
# "right": the right button ends a variable shape; "double": a double click
# on the last point ends it; "text": the text dialog; "drag": the lasso.
TOOLS = [
    (0, "CLP2P", [(0.1, 0.3), (0.8, 0.5)], None),
    (1, "CLP2L", [(0.1, 0.2), (0.9, 0.2), (0.5, 0.7)], None),
    (2, "CLL2L", [(0.1, 0.2), (0.9, 0.2), (0.3, 0.7), (0.7, 0.8)], None),
    (3, "CLAngle", [(0.1, 0.9), (0.5, 0.9), (0.1, 0.8), (0.5, 0.2)], None),
    (4, "CLArc", [(0.1, 0.7), (0.5, 0.2), (0.9, 0.7)], None),
    (5, "CLParallelLine", [(0.1, 0.2), (0.9, 0.3), (0.3, 0.6), (0.6, 0.8)], "right"),
    (6, "CLParallelLine_H", [(0.1, 0.2), (0.9, 0.2), (0.3, 0.6), (0.6, 0.8)], "right"),
    (7, "CLParallelLine_V", [(0.1, 0.1), (0.1, 0.9), (0.5, 0.3), (0.8, 0.6)], "right"),
    (8, "CLPolyLine", [(0.1, 0.2), (0.5, 0.8), (0.9, 0.3)], "double"),
    (9, "CLRect", [(0.1, 0.2), (0.8, 0.8)], None),
    (10, "CLPolygon", [(0.1, 0.2), (0.8, 0.2), (0.7, 0.8), (0.2, 0.7)], "double"),
    (11, "CCLCircle", [(0.5, 0.15), (0.2, 0.5), (0.8, 0.5)], None),
    (12, "CLR2R", [(0.5, 0.15), (0.2, 0.5), (0.8, 0.5), (0.5, 0.35)], None),
    (13, "CLC2C", [(0.1, 0.3), (0.25, 0.15), (0.4, 0.3), (0.6, 0.7), (0.75, 0.55), (0.9, 0.7)], None),
    (14, "CCLP2C", [(0.2, 0.5), (0.4, 0.3), (0.6, 0.5), (0.9, 0.9)], None),
    (15, "CCLL2C", [(0.2, 0.5), (0.4, 0.3), (0.6, 0.5), (0.1, 0.9), (0.9, 0.9)], None),
    (17, "CCLMulP2L", [(0.1, 0.2), (0.9, 0.2), (0.3, 0.6), (0.6, 0.8)], "right"),
    (22, "CLSIGN_1", [(0.5, 0.5)], None),
    (23, "CLSIGN_2", [(0.5, 0.5)], None),
    (24, "CLSIGN_3", [(0.5, 0.5)], None),
    (16, "CLText", [(0.2, 0.3), (0.6, 0.7)], "text"),
    (25, "CLPolygon2", [], "drag"),
    (28, "CCLCircle_M", [(0.5, 0.15), (0.2, 0.5), (0.8, 0.5)], "right"),
]
# The picture area used, split into cells of 6 columns and 4 rows.
AREA = (620, 100, 1850, 780)
CELL_W = (AREA[2] - AREA[0]) // 6
CELL_H = (AREA[3] - AREA[1]) // 4
TABLE = (600, 890, 1700, 1045)  # rows of the data table


check = w.Checks()


def cell(i):
    """Cells from the bottom right: a label (drawn right of and below its
    anchor) never lies where a later shape is clicked."""
    k = 23 - i
    return AREA[0] + (k % 6) * CELL_W, AREA[1] + (k // 6) * CELL_H


def xdo(p, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=p.env, check=True)


def at(c, f):
    return int(c[0] + f[0] * CELL_W), int(c[1] + f[1] * CELL_H)


def visible_windows(p):
    return w.titled_windows(p.env)


def dark_pixels(img, box):
    return sum(1 for r, g, b in img.crop(box).getdata() if r + g + b < 200)


def main():
    xvfb, display = w.start_x()
    app_dir = tempfile.mkdtemp(prefix="sevrin-shapes-")
    # Automatic edge finding off: the clicks stay where they are made.
    with open(os.path.join(app_dir, "MeasureForm.ini"), "w") as f:
        f.write("[General]\nisAutoEdge=false\n")
    try:
        p = w.Program(display, "4", "", app_dir=app_dir)
        # The device panel's open button: the rightmost control of its first row.
        img = p.shot("start")
        right = max((x for x in range(100, SPLITTER_X - 5) if img.getpixel((x, 54)) != (210, 210, 210)), default=551)
        live = p.click((right - 20, 54), until=lambda im: w.coloured_share(im, VIEW) > 0.05, timeout=30)
        check(w.coloured_share(live, VIEW) > 0.05, "live video from the simulated camera")
        p.click(TAB_MEASURE)
        before = p.shot("before_shapes")

        made = 0
        shot = before
        for i, (tool, cls, clicks, end) in enumerate(TOOLS):
            if not os.path.exists(os.path.join(SOURCE, "measure/shapes", cls + ".h")):
                print("skip %s: no class in this tree" % cls)
                continue
            c = cell(i)
            box = (c[0], c[1], c[0] + CELL_W, c[1] + CELL_H)
            # The tool and the clicks go to the interface window one after the
            # other (X keeps their order): nothing to wait for between them.
            if end is None:
                w.measure_with_tool(p, BUTTONS[tool], [at(c, f) for f in clicks], box, least=30)
                clicks = []
            else:
                p.click(BUTTONS[tool])
            windows = visible_windows(p)
            if end == "drag":
                # Read in one go, as a program running late reads a drag:
                # the lasso still follows every position of it.
                with p.held():
                    xdo(p, "mousemove", *at(c, (0.5, 0.1)), "mousedown", 1)
                    for k in range(1, 25):
                        a = 2 * math.pi * k / 24
                        xdo(p, "mousemove", *at(c, (0.5 + 0.3 * math.sin(a), 0.5 - 0.4 * math.cos(a))))
                    xdo(p, "mouseup", 1)
            # A double click gives the last point itself, as a user's does (a
            # click there just before would make the double click's first
            # press the second of a double click).
            for f in (clicks[:-1] if end == "double" else clicks):
                p.click(at(c, f))
            if end == "double":
                xdo(p, "mousemove", *at(c, clicks[-1]), "click", "--repeat", 2, "--delay", 80, 1)
            elif end == "right":
                p.click(at(c, (0.95, 0.95)), button=3)
            elif end == "text":
                # The modal text dialog opens at the cursor, its line edit
                # below; it takes the clicks and the typing once it is up.
                new = w.wait_until(lambda: visible_windows(p) - windows, timeout=20)
                check(bool(new) and bool(w.wait_until(lambda: w.focused_window(p.env) in new)),
                      "the text dialog opens and takes the keyboard")
                dialog = w.focused_window(p.env)
                x, y = at(c, clicks[-1])
                p.click((x + 100, y + 38))
                p.type("note")
                # Its OK button; the next tool's input reaches the picture
                # only once the modal dialog is gone.
                check(w.wait_closed(p.env, dialog, lambda: p.click((x + 110, y + 70))) if dialog in new else False,
                      "the text dialog closes on its OK")
            # What this shape added: new red pixels in its cell since the last shot.
            now = p.wait_for("shape_%02d" % i, lambda im: w.red_new_pixels(shot, im, box) > 30, timeout=20)
            n = w.red_new_pixels(shot, now, box)
            check(n > 30, "%s drawn in red in its cell (%d new red pixels)" % (cls, n))
            shot = now
            made += 1

        after = p.shot("after_shapes")
        check(made >= 20, "%d kinds made from the palette" % made)
        # The table lists the rows: its name column fills where it was empty.
        check(dark_pixels(after, TABLE) > dark_pixels(before, TABLE) + 300, "the data table lists the shapes' rows")
        check(p.stop() == 0, "the program ends with exit code 0")
    finally:
        xvfb.terminate()
        xvfb.wait()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
