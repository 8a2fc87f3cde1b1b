#!/usr/bin/python3
"""The measurement panels in the real program under a virtual X server: two
lines measured with the tool palette, one made longer by typing its length
into the data table; three horizontal cross lines from the grid panel, one
moved to the centre by the cross-line editor. Checked by screenshots."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import sevrin_x as sx  # noqa: E402

# Screen positions at 1920 x 1080 (interface size factor 10).
OPEN_BUTTON = (531, 54)
TAB_MEASURE = (29, 181)
TAB_LINE = (29, 298)
P2P_TOOL = (125, 305)
LENGTH_CELL_ROW2 = (770, 944)
NAME_CELL_ROW2 = (650, 944)
LENGTH_EDITOR_FREE = (810, 944)  # right of the length's text in its cell
ADD_H, OK_H = (488, 95), (531, 95)
POSITION_HANDLE_MIDDLE, POSITION_SLIDER_QUARTER = (313, 333), (210, 333)
VIEW = (600, 90, 1860, 780)

failures = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what)
    if not cond:
        failures.append(what)


def clusters(rows):
    """Groups of neighbouring rows: one per drawn line, by its first row."""
    out = []
    for y in rows:
        if not out or y - out[-1][-1] > 3:
            out.append([y])
        else:
            out[-1].append(y)
    return [c[0] for c in out]


def editing_length(img):
    """The second row's length cell has its editor open: the row shows
    selected (blue) and the cell white around its text."""
    r, g, b = img.getpixel(NAME_CELL_ROW2)
    return b > 150 and r < 120 and img.getpixel(LENGTH_EDITOR_FREE) == (255, 255, 255)


def open_length_editor(p, tries=3):
    """Double-clicks the second row's length cell until its editor shows: a
    busy machine may hand X the two clicks further apart than a double
    click's time (they select the row then)."""
    for _ in range(tries):
        p.xdo("mousemove", LENGTH_CELL_ROW2[0], LENGTH_CELL_ROW2[1], "click", "--repeat", 2, "--delay", 80, 1)
        if editing_length(p.wait_for("length_editor", editing_length, timeout=10)):
            return True
    return False


def main():
    xvfb, display = sx.start_x()
    try:
        p = sx.Program(display, "4", "")
        p.click(OPEN_BUTTON, until=lambda img: sx.coloured_share(img, VIEW) > 0.05, timeout=30)
        p.click(TAB_MEASURE)
        sx.measure_with_tool(p, P2P_TOOL, [(700, 300), (1000, 300)], (690, 280, 1010, 320), least=100)
        sx.measure_with_tool(p, P2P_TOOL, [(700, 520), (900, 520)], (690, 500, 910, 540), least=80)
        box = (910, 510, 1020, 528)  # beyond the second line's end, clear of its label
        before = p.shot("two_lines")
        # The keys go to the cell's editor once it shows.
        check(open_length_editor(p), "a double click opens the length cell's editor")
        p.key("ctrl+a")
        p.type("1000")
        p.key("Return")
        after = p.wait_for("length_typed", lambda img: sx.changed_pixels(before, img, box) > 60, timeout=15)
        check(sx.changed_pixels(before, after, box) > 60, "a length typed into the table makes the line longer")

        # Three horizontal cross lines, then the first one centred by the editor.
        for _ in range(2):  # right clicks on empty ground: no tool any more
            p.click((1500, 760), button=3)
        p.click(TAB_LINE)
        for _ in range(3):
            p.click(ADD_H)
        p.click(OK_H)
        grid = p.wait_for("three_lines", lambda img: len(clusters(sx.red_rows(img, VIEW))) >= 3, timeout=15)
        lines = clusters(sx.red_rows(grid, VIEW))
        check(len(lines) == 3, "three horizontal cross lines over the video (rows %s)" % lines)
        if lines:
            # A right press selects the line (the overlay moves lines with the right
            # button); the editor then shows it.
            p.click((1500, lines[0] + 1), button=3)
            # The lines lie near the middle of the picture: so does the handle of
            # the position slider. Dragged a quarter of the way, the line goes far down.
            sx.subprocess.run(["xdotool", "mousemove", str(POSITION_HANDLE_MIDDLE[0]), str(POSITION_HANDLE_MIDDLE[1]),
                               "mousedown", "1", "mousemove", "260", str(POSITION_SLIDER_QUARTER[1]), "mousemove",
                               str(POSITION_SLIDER_QUARTER[0]), str(POSITION_SLIDER_QUARTER[1]), "mouseup", "1"],
                              env=p.env, check=True)
            moved = p.wait_for("line_moved", lambda img: len(clusters(sx.red_rows(img, VIEW))) == 3 and max(
                abs(a - b) for a in clusters(sx.red_rows(img, VIEW)) for b in lines) > 100, timeout=15)
            now = clusters(sx.red_rows(moved, VIEW))
            check(len(now) == 3 and max(abs(a - b) for a in now for b in lines) > 100,
                  "the editor's position slider moves one line across the picture (rows %s -> %s)" % (lines, now))
        check(p.stop() == 0, "the program ends with exit code 0")
    finally:
        xvfb.terminate()
        xvfb.wait()
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
