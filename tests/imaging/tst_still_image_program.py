#!/usr/bin/python3
"""The still-image flow in the real program under a virtual X server, without
and with a window manager: a picture saved on disk is opened from the capture
bar, zoomed with the wheel, measured with a line, given an overlay picture and
saved with Save as under a name without an extension; the file written has the
chosen type's extension, the picture's size and the line in it, the view keeps
its picture, and the saved file opens again. A picture whose header claims
65500 x 65500 pixels is refused with the Error box and the view keeps its
picture."""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (Checks, Program, answer_file_dialog, bounding_box, interface_mapped,  # noqa: E402
                      interface_shown, picture_on_disk, visible_window, wait_until, without_and_with_window_manager)

from PIL import Image, ImageDraw  # noqa: E402

# Screen positions at 1920 x 1080 (interface size factor 10).
OPEN_CAMERA = (531, 54)
BAR_X = 754  # left edge of the capture bar's picture buttons
BTN_OPEN, BTN_SAVE_AS, BTN_OVERLAY = (BAR_X + 25, 54), (BAR_X + 116 + 25, 54), (BAR_X + 284 + 25, 54)
TAB_MEASURE = (29, 181)
LINE_TOOL = (125, 305)
VIEW = (575, 81, 1900, 790)  # the view area above the table

PICTURE = (1600, 1200)
SQUARE = (700, 500, 900, 700)  # the white square in picture pixels
STRIPE, BACK = (60, 190, 90), (40, 160, 70)

check = Checks()


def make_pictures(folder):
    picture = Image.new("RGB", PICTURE, BACK)
    d = ImageDraw.Draw(picture)
    for x in range(0, PICTURE[0], 200):
        d.rectangle([x, 0, x + 99, PICTURE[1] - 1], fill=STRIPE)
    d.rectangle([SQUARE[0], SQUARE[1], SQUARE[2] - 1, SQUARE[3] - 1], fill=(250, 250, 250))
    specimen = os.path.join(folder, "specimen.png")
    picture.save(specimen)
    overlay = os.path.join(folder, "overlay.png")
    Image.new("RGB", (800, 600), (30, 60, 220)).save(overlay)
    # A 3 KB JPEG whose frame header claims 65500 x 65500 pixels.
    giant = os.path.join(folder, "giant.jpg")
    Image.new("RGB", (16, 16), (200, 30, 30)).save(giant, "JPEG")
    data = bytearray(open(giant, "rb").read())
    sof = data.index(b"\xff\xc0")
    data[sof + 5:sof + 9] = struct.pack(">HH", 65500, 65500)
    open(giant, "wb").write(bytes(data))
    return specimen, overlay, giant


def white(px):
    return min(px) > 235


def square_on_screen(img):
    return bounding_box(img, VIEW, white, step=1)


def scale_shown(img):
    """The picture's scale on screen, from the white square's width."""
    box = square_on_screen(img)
    return None if box is None else (box[2] - box[0]) / float(SQUARE[2] - SQUARE[0])


def red(px):
    return px[0] > 170 and px[1] < 90 and px[2] < 90


def wheel(p, pos, button):
    subprocess.run(["xdotool", "mousemove", str(pos[0]), str(pos[1]), "click", str(button)], env=p.env, check=True)


def click(p, pos):
    subprocess.run(["xdotool", "mousemove", str(pos[0]), str(pos[1]), "click", "1"], env=p.env, check=True)


def flow(display, label):
    folder = tempfile.mkdtemp(prefix="sevrin-still-")
    specimen, overlay, giant = make_pictures(folder)
    p = Program(display, "4", "")
    try:
        click(p, OPEN_CAMERA)
        p.wait_for("live_" + label, lambda im: square_on_screen(im) is None and im.getpixel((1200, 400)) != (0, 0, 0))
        # The measuring panel now: it sends its cursor size a second after it
        # opens, which drops any tool chosen before; the dialogs below take longer.
        click(p, TAB_MEASURE)
        p.wait_for("measure_tab_" + label, lambda im: im.getpixel(LINE_TOOL) != im.getpixel((LINE_TOOL[0], 600)))

        # Open the saved picture: it fills the view at the fit ratio. The view
        # is ready for the mouse once the dialog has gone and the interface
        # is back above the main window (a window manager raises the main
        # window as the dialog closes; the program then raises its interface).
        click(p, BTN_OPEN)
        check(answer_file_dialog(p.env, "打开", specimen), "the open dialog takes the picture, " + label)
        wait_until(lambda: interface_mapped(p.env), timeout=20)
        shown = p.wait_for("opened_" + label, lambda im: scale_shown(im) is not None and interface_shown(im))
        check(scale_shown(shown) is not None, "the opened picture shows in the view, " + label)

        # Two wheel steps up from the fit ratio (0.59 here): 0.6, then 0.7.
        before = scale_shown(shown) or 0
        centre = ((VIEW[0] + VIEW[2]) // 2, (VIEW[1] + VIEW[3]) // 2)
        for step in (1, 2):
            wheel(p, centre, 4)
            zoomed = p.wait_for("zoom%d_%s" % (step, label),
                                lambda im: (scale_shown(im) or 0) > before + 0.005, timeout=10)
            before = scale_shown(zoomed) or 0
        check(abs(before - 0.7) < 0.02, "two wheel steps show the picture at 0.7 (%.3f), %s" % (before, label))
        square = square_on_screen(zoomed)

        # A line across the square, clicked in screen coordinates; where it lies
        # in the picture follows from the square's place on screen.
        # The tool and both points go to the interface in order, once.
        click(p, LINE_TOOL)
        a = (square[0] - 150, square[1] - 60)
        b = (square[2] + 150, square[3] + 60)
        click(p, a)
        click(p, b)
        measured = p.wait_for("measured_" + label, lambda im: bounding_box(im, VIEW, red, step=2) is not None,
                              timeout=20)
        check(bounding_box(measured, VIEW, red, step=2) is not None, "the line is drawn over the picture, " + label)
        scale = (square[2] - square[0]) / float(SQUARE[2] - SQUARE[0])

        def in_picture(pt):
            return (SQUARE[0] + (pt[0] - square[0]) / scale, SQUARE[1] + (pt[1] - square[1]) / scale)

        pa, pb = in_picture(a), in_picture(b)

        # The overlay picture lays its blue over the view.
        click(p, BTN_OVERLAY)
        check(answer_file_dialog(p.env, "选择叠图图片", overlay), "the overlay dialog takes the picture, " + label)
        mid = ((square[0] + square[2]) // 2, (square[1] + square[3]) // 2 + 20)
        tinted = p.wait_for("overlay_" + label, lambda im: im.getpixel(mid)[2] > im.getpixel(mid)[0] + 60, timeout=10)
        check(tinted.getpixel(mid)[2] > tinted.getpixel(mid)[0] + 60, "the overlay tints the picture blue, " + label)

        # Save as, typing no extension: the chosen type (jpg, the first) names it.
        target = os.path.join(folder, "meas_overlay")
        click(p, BTN_SAVE_AS)
        check(answer_file_dialog(p.env, "另存为", target), "the save-as dialog takes the name, " + label)
        written = wait_until(lambda: picture_on_disk(target + ".jpg"), timeout=20)
        check(written == ("JPEG", PICTURE), "the file is %s.jpg, a JPEG of 1600 x 1200 (%s), %s"
              % (os.path.basename(target), written, label))
        check(not os.path.exists(target + "."), "no file named with a bare dot, " + label)
        check(wait_until(lambda: visible_window(p.env, "Error"), timeout=2) is None, "no Error box, " + label)
        after = p.wait_for("saved_" + label, lambda im: square_on_screen(im) is not None, timeout=10)
        check(square_on_screen(after) is not None, "the view keeps its picture after the save, " + label)

        # The line is in the file, where it was drawn on the picture.
        if written:
            saved = Image.open(target + ".jpg").convert("RGB")
            original = Image.open(specimen).convert("RGB")

            def redder(x, y):
                # A thin red line over green or white, after JPEG: red up and
                # green down against the original picture.
                (rs, gs, _), (ro, go, _) = saved.getpixel((x, y)), original.getpixel((x, y))
                return (rs - ro) - (gs - go) > 60

            def line_near(pt, reach):
                return any(redder(int(pt[0]) + dx, int(pt[1]) + dy)
                           for dx in range(-reach, reach + 1) for dy in range(-reach, reach + 1))

            course = [(pa[0] + (pb[0] - pa[0]) * i / 20.0, pa[1] + (pb[1] - pa[1]) * i / 20.0) for i in range(1, 20)]
            hits = sum(line_near(pt, 4) for pt in course)
            check(hits >= 18, "the line is in the saved picture along its drawn course (%d of 19 points), %s"
                  % (hits, label))
            # Away from the line (the middle of the picture's lower left quarter) nothing changed.
            check(not line_near((400, 1000), 20), "the picture away from the line is unchanged, " + label)

        # The saved file opens again.
        click(p, BTN_OPEN)
        check(answer_file_dialog(p.env, "打开", target + ".jpg"), "the open dialog takes the saved file, " + label)
        reopened = p.wait_for("reopened_" + label, lambda im: square_on_screen(im) is not None, timeout=10)
        check(square_on_screen(reopened) is not None, "the saved file shows in the view, " + label)

        # A picture that claims 65500 x 65500 pixels is refused, the program lives on.
        click(p, BTN_OPEN)
        check(answer_file_dialog(p.env, "打开", giant), "the open dialog takes the giant picture, " + label)
        box = wait_until(lambda: visible_window(p.env, "Error"), timeout=20)
        check(box is not None, "the Error box refuses the giant picture, " + label)
        if box:
            subprocess.run(["xdotool", "windowfocus", "--sync", box], env=p.env)
            subprocess.run(["xdotool", "key", "Return"], env=p.env)
            wait_until(lambda: not visible_window(p.env, "Error"), timeout=10)
        kept = p.wait_for("refused_" + label, lambda im: square_on_screen(im) is not None, timeout=10)
        check(p.proc.poll() is None and square_on_screen(kept) is not None,
              "the program runs on and the view keeps its picture, " + label)
    finally:
        code = p.stop()
    check(code == 0, "the program ends with code 0, " + label)


def main():
    without_and_with_window_manager(flow)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
