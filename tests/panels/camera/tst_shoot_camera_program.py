#!/usr/bin/python3
""""Shoot Camera" with a network camera in the real program: the camera keeps
the picture, and the snap button is free again after each snap, so two snaps
in a row both reach the camera: seen from outside as the two pictures the
camera sends back over the receiving link, and, from a camera that cannot
take a picture (its card refuses it), as two Error boxes, one per snap. Without
and with a window manager."""
import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../support"))
from sevrin_x import Checks, Program, lit_share, wait_until, without_and_with_window_manager  # noqa: E402

OPEN_BUTTON = (531, 54)
SNAP = (665, 54)
TAB_SETTINGS = (29, 356)
VERIFY = (88, 356)  # "Verify" of the files-receiving panel in the settings column
VIEW = (600, 200, 1890, 900)

check = Checks()


def shoot_camera_program(display, extra_env=None):
    folder = tempfile.mkdtemp(prefix="sevrin-shoot-")
    with open(os.path.join(folder, "CameraSet.ini"), "w") as f:
        f.write("[General]\nisSnapPC=false\n")
    p = Program(display, "", "0@192.168.1.10", app_dir=folder, extra_env=extra_env)
    p.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
    return p


def error_box(p):
    return p.window("^Error$")


def close_box(p):
    """Answers the Error box with Return (given the focus first, with or
    without a window manager); true once no box is shown."""
    def answered():
        box = error_box(p)
        if box is None:
            return True
        subprocess.run(["xdotool", "windowfocus", "--sync", box, "key", "Return"], env=p.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
        return wait_until(lambda: error_box(p) is None, timeout=2)
    return wait_until(answered, timeout=30)


def pictures(p):
    return sorted(glob.glob(p.file("Export/Image/*.jpg")))


def two_snaps(display, label):
    # The camera hands the pictures it takes over the receiving link, into
    # the snapshot folder (the link's folder by default).
    p = shoot_camera_program(display)
    p.click(TAB_SETTINGS)
    p.click(VERIFY)
    for n in (1, 2):
        p.click(SNAP)
        got = wait_until(lambda: len(pictures(p)) >= n, timeout=20)
        check(got, "snap %d reaches the camera, which sends the picture back, %s" % (n, label))
        if not got:
            break
    check(error_box(p) is None, "a camera that took the pictures shows no Error box, " + label)
    check(p.stop() == 0, "the program ends with code 0, " + label)

    # The camera's answer reaches the user, for each of two snaps.
    p = shoot_camera_program(display, {"SEVRIN_SIM_NET_FAIL": "card"})
    for n in (1, 2):
        p.xdo("mousemove", SNAP[0], SNAP[1], "click", 1)
        box = wait_until(lambda: error_box(p), timeout=20)
        check(box is not None, "snap %d reaches the camera, whose refusal shows the Error box, %s" % (n, label))
        if box is None:
            break
        p.shot("refused_%d" % n)
        check(close_box(p), "the box closes, " + label)
    check(p.stop() == 0, "the program ends with code 0 after the refusals, " + label)


def main():
    without_and_with_window_manager(two_snaps)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
