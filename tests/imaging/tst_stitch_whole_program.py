#!/usr/bin/python3
"""Live stitching in the real program under a virtual X server: the simulated
USB camera's stage pans the specimen along a serpentine (through the file
named by SEVRIN_SIM_STAGE), the mosaic grows on screen, Export writes the
picture and its thumbnail, and the exported mosaic matches a snapshot of the
specimen taken at the first stop where both cover it."""
import glob
import os
import sys
import time

from PIL import Image, ImageChops, ImageStat

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "../app"))
import tst_whole_program as whole  # noqa: E402
from tst_whole_program import Program, check, start_x, wait_until  # noqa: E402
from sevrin_x import readable, stop_x  # noqa: E402

SOURCE = os.environ.get("SEVRIN_SOURCE_DIR", os.path.join(HERE, "../.."))
OPEN_BUTTON = (531, 54)
SNAP_BUTTON = (665, 54)
TAB_COMPOSITE = (29, 240)
PLAY = (108, 517)
EXPORT = (314, 471)
MOSAIC_VIEW = (580, 40, 1910, 1040)
# Stage positions in sensor units (two per pixel of the 1920 x 1080 stitching frames).
SERPENTINE = [(1200, 0), (2400, 0), (3600, 0), (3600, 900), (2400, 900), (1200, 900), (0, 900)]


def main():
    # Stitching starts only once the general settings answer the resolution request.
    with open(os.path.join(SOURCE, "panels/camera/OtherSet.cpp"), encoding="utf-8") as f:
        if "changeFenBianLv1080pFinish" not in f.read():
            print("SKIP: the general settings panel does not answer the resolution request yet")
            return 0
    xvfb, display = start_x()
    stage = os.path.join(os.environ.get("TMPDIR", "/tmp"), "sevrin-stage-%d.txt" % os.getpid())
    with open(stage, "w") as f:
        f.write("0 0\n")
    os.environ["SEVRIN_SIM_STAGE"] = stage
    p = None
    try:
        p = Program(display, "4", "")
        p.click(OPEN_BUTTON, until=lambda img: lit_share(img, MOSAIC_VIEW) > 0.5, timeout=30)
        # The truth: a snapshot of the first stop (full sensor size).
        p.click(SNAP_BUTTON)
        wait_until(lambda: glob.glob(os.path.join(p.dir, "Export/Image/*.jpg")), timeout=20)
        snaps = glob.glob(os.path.join(p.dir, "Export/Image/*.jpg"))
        check(len(snaps) == 1, "a snapshot of the first stop")
        truth = wait_until(lambda: snaps and readable(snaps[0]), timeout=20)
        for s in snaps:
            os.remove(s)

        p.click(TAB_COMPOSITE)
        p.click(PLAY)
        # The mosaic view takes the place of the live video and the capture bar.
        def first_frame(img):
            return sum(img.getpixel((800, 54))) == 0 and 0.02 < lit_share(img, MOSAIC_VIEW) < 0.3
        first = p.wait_for("stitch_first", first_frame, timeout=40)
        check(first_frame(first), "the mosaic view shows the first frame")
        for x, y in SERPENTINE:
            before = p.shot("stitch_stop")
            with open(stage, "w") as f:
                f.write("%d %d\n" % (x, y))
            # The view follows the camera to the new stop; the mosaic takes
            # the stop in a few matched frames later. Nothing on screen tells
            # when (the live frame covers where it is pasted), so the stage
            # moves on once the mosaic has stayed as it is for a second.
            p.wait_for("stitch_moved", lambda img: changed(before, img) > 2000, timeout=30)
            mosaic_still(p, 1.0)
        grown = p.wait_for("stitch_grown", lambda img: lit_share(img, MOSAIC_VIEW) > 2 * lit_share(first, MOSAIC_VIEW),
                           timeout=30)
        check(lit_share(grown, MOSAIC_VIEW) > 2 * lit_share(first, MOSAIC_VIEW), "the mosaic grew on screen")

        p.click(EXPORT)
        # The export runs with the next frame and opens the save dialog.
        p.wait_window("保存文件", timeout=60)
        p.key("Return")
        out = os.path.join(p.dir, "Export/Image/max.jpg")
        thumb_path = os.path.join(p.dir, ".scaleImage/0.jpg")
        wait_until(lambda: readable(out) and readable(thumb_path), timeout=30)
        check(os.path.exists(out), "Export wrote the mosaic")
        mosaic = readable(out) or Image.open(out).convert("RGB")
        thumb = Image.open(os.path.join(p.dir, ".scaleImage/0.jpg"))
        check(thumb.size[1] == 296, "the thumbnail is 296 pixels high")
        # The serpentine reached 3600 + 3840 units right and 900 + 2160 down.
        check(abs(mosaic.size[0] - 3720) <= 4 and abs(mosaic.size[1] - 1530) <= 4,
              "the mosaic spans the serpentine: %dx%d" % mosaic.size)
        # The first stop is the mosaic's top-left frame; the snapshot is at
        # full sensor size. Away from the scale bar drawn into snapshots.
        half = truth.resize((truth.size[0] // 2, truth.size[1] // 2), Image.BOX)
        box = (400, 200, 1900, 1060)
        diff = ImageChops.difference(mosaic.crop(box), half.crop(box))
        mae = sum(ImageStat.Stat(diff).mean) / 3
        print("mean absolute error of the exported mosaic against the specimen: %.2f grey levels" % mae)
        check(mae < 12, "the exported mosaic shows the specimen where it covers it")
    finally:
        if p:
            p.stop()
        stop_x(xvfb)
        os.remove(stage)
    print("%d checks, %d failed" % (whole.checks[0], len(whole.failures)))
    return 1 if whole.failures else 0


def mosaic_still(p, quiet, timeout=30.0):
    """Waits until the mosaic view has stayed unchanged for `quiet` seconds."""
    end = time.time() + timeout
    last, since = p.grab().crop(MOSAIC_VIEW).tobytes(), time.time()
    while time.time() < end and time.time() - since < quiet:
        time.sleep(0.1)
        now = p.grab().crop(MOSAIC_VIEW).tobytes()
        if now != last:
            last, since = now, time.time()


def changed(a, b):
    diff = ImageChops.difference(a.crop(MOSAIC_VIEW), b.crop(MOSAIC_VIEW)).convert("L")
    return sum(1 for v in diff.getdata() if v > 40)


def lit_share(img, box):
    """Share of pixels in box that are not black."""
    part = img.crop(box).convert("L").point(lambda v: 255 if v > 24 else 0)
    return ImageStat.Stat(part).mean[0] / 255


if __name__ == "__main__":
    sys.exit(main())
