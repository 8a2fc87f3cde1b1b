#!/usr/bin/python3
"""A disk that fills during a recording, in the real program under a virtual X
server, with and without a window manager: the program runs with a limit on
the size of the files it writes (as a full disk, writing fails past it); the
recording ends by itself, the "Error" box names the failed recording, the
capture bar's red stop button gives way to the record button again, the
file left behind plays, and the bar starts and stops the next recording."""
import errno
import glob
import locale
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../support"))
import sevrin_x  # noqa: E402
from sevrin_x import Checks, Program, lit_share, wait_until, without_and_with_window_manager  # noqa: E402

OPEN_BUTTON = (531, 54)
RECORD = (723, 54)  # the stop button takes its place while recording
VIEW = (600, 200, 1890, 900)
LIMIT_BYTES = 8 * 1024 * 1024

check = Checks()


def error_text(code):
    """The C library's text for code in the program's language (it shares
    this process's environment): the log carries the error as the library
    words it."""
    before = locale.setlocale(locale.LC_MESSAGES)
    locale.setlocale(locale.LC_MESSAGES, "")
    try:
        return os.strerror(code)
    finally:
        locale.setlocale(locale.LC_MESSAGES, before)


def red_stop_shown(img):
    r, g, b = img.getpixel(RECORD)
    return r > 180 and g < 90 and b < 90


def record_button_shown(img):
    """The camcorder icon of the record button: its white body's left edge,
    where a disabled or red stop button is grey or dark."""
    r, g, b = img.getpixel((RECORD[0] - 18, RECORD[1]))
    return r > 200 and g > 200 and b > 200 and not red_stop_shown(img)


def limited_launcher(folder):
    """A launcher that starts the program with files limited to LIMIT_BYTES;
    past it a write fails (the signal that would end the program is ignored,
    as it stays across exec)."""
    path = os.path.join(folder, "limited.sh")
    with open(path, "w") as f:
        f.write("#!/bin/bash\ntrap '' XFSZ\nulimit -f %d\nexec '%s' \"$@\"\n" % (LIMIT_BYTES // 1024, sevrin_x.SEVRIN))
    os.chmod(path, 0o755)
    return path


def error_box_text(env):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Error$"], env=env,
                         capture_output=True, text=True).stdout.split()
    return bool(out)


def close_error_box(p):
    wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Error$"], env=p.env,
                         capture_output=True, text=True).stdout.split()
    if not wid:
        return
    # A window manager activates it; without one, it takes the focus directly.
    subprocess.run(["xdotool", "windowactivate", "--sync", wid[0]], env=p.env, capture_output=True, timeout=10)
    subprocess.run(["xdotool", "windowfocus", "--sync", wid[0]], env=p.env, capture_output=True, timeout=10)
    p.key("Return")


def fill_during_recording(display, label):
    real = sevrin_x.SEVRIN
    sevrin_x.SEVRIN = limited_launcher(tempfile.mkdtemp(prefix="sevrin-limit-"))
    try:
        p = Program(display, "4", "")
    finally:
        sevrin_x.SEVRIN = real
    live = p.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
    check(lit_share(live, VIEW) > 0.5, "the camera is live, " + label)

    check(record_button_shown(live), "the record button shows before, " + label)
    p.click(RECORD)
    recording = p.wait_for("full_recording", red_stop_shown, timeout=30)
    check(red_stop_shown(recording), "the stop button shows while recording, " + label)
    box = wait_until(lambda: error_box_text(p.env), timeout=120)
    check(bool(box), "an Error box tells that the recording failed, " + label)
    idle = p.wait_for("full_idle", record_button_shown, timeout=30)
    check(record_button_shown(idle), "the capture bar is back to its record button, " + label)
    videos = glob.glob(p.file("Export/Video/*.mp4"))
    check(len(videos) == 1, "one recording is left, " + label)
    with open(p.file("log.txt"), errors="replace") as log:
        text = log.read()
    check("failed" in text and error_text(errno.EFBIG) in text, "the log names the failed write, " + label)

    if videos:
        size = os.path.getsize(videos[0])
        probe = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                                "-show_entries", "stream=codec_name,nb_read_packets", "-of", "csv=p=0", videos[0]],
                               capture_output=True, text=True)
        fields = probe.stdout.strip().split(",")
        check(probe.returncode == 0 and fields[0] == "h264" and int(fields[1] or 0) > 0 and size <= LIMIT_BYTES,
              "it plays up to its last whole fragment (%s, %d bytes), %s" % (probe.stdout.strip(), size, label))

    # The user closes the box (Return on its default button); the bar works as
    # before: the next recording starts and stops.
    close_error_box(p)
    check(wait_until(lambda: not error_box_text(p.env), timeout=10), "the box closes with its button, " + label)
    p.wait_interface()
    p.click(RECORD)
    again = p.wait_for("full_again", red_stop_shown, timeout=30)
    check(red_stop_shown(again), "a second recording starts from the bar, " + label)
    p.click(RECORD)
    after = p.wait_for("full_after", record_button_shown, timeout=30)
    check(record_button_shown(after), "and stops from it, " + label)
    check(wait_until(lambda: len(glob.glob(p.file("Export/Video/*.mp4"))) == 2, timeout=20),
          "it leaves a second file, " + label)
    check(p.stop() == 0, "the program ends with exit code 0, " + label)


def main():
    without_and_with_window_manager(fill_during_recording)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
