#!/usr/bin/python3
"""Each column band of the whole program's exported focus-stacked picture
against the sharpest single frame of that band taken in the same run.

Input: the simulated 4K camera (model 4) looking at a tilted specimen while
its focus sweeps through the depth and back (SEVRIN_SIM_USB
"4:tilt=0.005:sweep=S", S seconds each way), under Xvfb 1920 x 1080.
Snapshots are taken one after another over a whole sweep (there and back),
then focus stacking runs until every band of the fused view has come up and
FUSE seconds more, and the picture is exported. Sharpness of a band: the mean
3 x 3 edge response (PIL's FIND_EDGES) of 480 full-size columns.

Prints whether the panel said the stack was complete or still sharpening at
the Export (a question then, answered "Export"), and per band: the best
snapshot, the export, and export / best snapshot.

usage: bench_focus_bands_program.py [--sweep S] [--fuse SECONDS] [--rounds N]
"""
import argparse
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support"))
from PIL import Image  # noqa: E402
from sevrin_x import (FOCUS_START, LIVE_VIEW, OPEN_BUTTON, PANELS, TAB_COMPOSITE, TAB_FOCUS, Program,  # noqa: E402
                      band_sharpness, focus_start_shown, lit_share, readable, start_x, wait_focus, wait_until)

SNAP_BUTTON = (665, 54)
EXPORT = (313, 469)
SAVE_IN_DIALOG = (1217, 651)
FULL = (0, 0, 3840, 2160)
STILL_SHARPENING = "^提示$"  # the question an Export asks while the stack is still sharpening


def fmt(values):
    return " ".join("%.2f" % v for v in values)


def one_round(display, sweep, fuse):
    p = Program(display, "4:tilt=0.005:sweep=%g" % sweep, "")
    try:
        p.click(OPEN_BUTTON, until=lambda img: lit_share(img, LIVE_VIEW) > 0.5, timeout=60)
        p.click(TAB_COMPOSITE, changes=PANELS, timeout=60)
        p.click(TAB_FOCUS, until=focus_start_shown, timeout=60)
        folder = p.file(os.path.join("Export", "Image"))

        def pictures():
            return sorted(f for f in glob.glob(os.path.join(folder, "*.jpg")) if readable(f))

        end = time.time() + 2 * sweep + 1
        while time.time() < end:
            n = len(pictures())
            p.click(SNAP_BUTTON)
            wait_until(lambda: len(pictures()) > n, timeout=60)
        snaps = pictures()
        best = [0.0] * 8
        for f in snaps:
            best = [max(a, b) for a, b in zip(best, band_sharpness(readable(f), FULL))]
        p.click(FOCUS_START)
        # Every band of the view has come up to half its sharpest band.
        p.wait_for("fused", lambda img: min(band_sharpness(img, LIVE_VIEW)) >= 0.5 * max(
            band_sharpness(img, LIVE_VIEW)), timeout=300)
        time.sleep(fuse)  # the run's length is what is measured here
        p.click(EXPORT)
        # A stack still sharpening is exported anyway: the question's
        # default keeps stacking, Export is the button before it.
        wait_until(lambda: p.window(STILL_SHARPENING) or p.window("保存文件"), timeout=120)
        asked = p.window(STILL_SHARPENING)
        if asked:
            wait_focus(p.env, asked)
            subprocess.run(["xdotool", "key", "shift+Tab", "space"], env=p.env)
        print("  the panel said %s" % ("the stack was still sharpening" if asked else "the stack was complete"))
        p.wait_window("保存文件", timeout=120)
        p.click(SAVE_IN_DIALOG)
        outs = wait_until(lambda: [f for f in pictures() if f not in snaps], timeout=60)
        exported = band_sharpness(Image.open(outs[0]).convert("RGB"), FULL)
        print("  %d snapshots; best snapshot per band: %s" % (len(snaps), fmt(best)))
        print("  exported per band:                  %s" % fmt(exported))
        ratios = [e / b for e, b in zip(exported, best)]
        print("  export / best snapshot:             %s   (least %.2f)" % (fmt(ratios), min(ratios)))
        return min(ratios)
    finally:
        p.proc.terminate()
        p.proc.wait(timeout=60)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sweep", type=float, default=4.0)
    ap.add_argument("--fuse", type=float, default=30.0)
    ap.add_argument("--rounds", type=int, default=1)
    args = ap.parse_args()
    xvfb, display = start_x()
    try:
        least = []
        for r in range(args.rounds):
            print("round %d: sweep %g s each way, %g s of stacking after every band came up" % (
                r + 1, args.sweep, args.fuse))
            least.append(one_round(display, args.sweep, args.fuse))
        print("least export / best snapshot over the rounds: %s" % fmt(least))
    finally:
        xvfb.terminate()
    return 0


if __name__ == "__main__":
    sys.exit(main())
