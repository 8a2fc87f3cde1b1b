#!/usr/bin/python3
"""The capture bar and the settings column in the real program under a virtual
X server: a snapshot by the bar's button lands as a JPEG in the snapshot folder
with its thumbnail in the recent list; record and stop make an MP4 that
ffprobe reads (the 4K camera goes to 1080p for it and back); the language box
switches the interface to English, which is still English after a restart.
The temporary 1080p switch of a recording is never stored: a program ended
while it records starts again at full size, Fast Mode off."""
import glob
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../support"))
from sevrin_x import Checks, Program, lit_share, start_x, wait_until  # noqa: E402

from PIL import Image, ImageChops, ImageFilter  # noqa: E402

# Screen positions at 1920 x 1080 (interface size factor 10).
OPEN_BUTTON = (531, 54)
SNAP = (665, 54)
RECORD = (723, 54)  # the stop button takes its place while recording
TAB_SETTINGS = (29, 356)
LANGUAGE_BOX = (326, 960)  # with the settings column scrolled to its end
COLUMN_SCROLL_BAR = (560, 200)
VIEW = (600, 200, 1890, 900)
COLUMN = (60, 30, 560, 760)  # the settings column's texts


def ini_value(path, key):
    if not os.path.exists(path):
        return None
    for line in open(path, encoding="utf-8"):
        if line.startswith(key + "="):
            return line.strip().split("=", 1)[1]
    return None


def red_stop_shown(img):
    r, g, b = img.getpixel(RECORD)
    return r > 180 and g < 90 and b < 90


def differing(a, b, box):
    diff = ImageChops.difference(a.crop(box), b.crop(box)).convert("L")
    return sum(1 for v in diff.getdata() if v > 40)


def fields(img, box):
    """Mask of the white fields in box (folder paths, boxes), their texts
    included."""
    white = img.crop(box).convert("L").point(lambda v: 255 if v >= 250 else 0)
    return white.filter(ImageFilter.MaxFilter(15))


def differing_labels(a, b, box):
    """Pixels of box that differ between a and b outside either's white
    fields: the labels' texts. A folder field shows a different part of a
    path that is wider than the field from one start to the next (how much
    depends on how long the temporary folder's path is)."""
    diff = ImageChops.difference(a.crop(box), b.crop(box)).convert("L").point(lambda v: 255 if v > 40 else 0)
    diff = ImageChops.subtract(diff, ImageChops.lighter(fields(a, box), fields(b, box)))
    return sum(1 for v in diff.getdata() if v)


def scroll_to_end(p):
    """Drags the settings column's scroll bar to its end (the wheel zooms the
    picture), step by step, each step once the column has followed."""
    x, y = COLUMN_SCROLL_BAR
    p.xdo("mousemove", x, y, "mousedown", 1)
    for to in (600, 1075):
        before = p.shot("before_scroll")
        p.xdo("mousemove", x, to)
        p.wait_for("scrolled", lambda img: differing(before, img, COLUMN) > 0)
    p.xdo("mouseup", 1)


def jpeg_sizes(pattern):
    return sorted(Image.open(f).size for f in glob.glob(pattern))


def recorded_seconds(path):
    """Duration of the fragmented MP4 at path as ffprobe reads it so far (0
    while nothing readable is on disk): fragments reach the disk while the
    recording runs."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                           capture_output=True, text=True)
    try:
        return float(probe.stdout.strip())
    except ValueError:
        return 0.0


def snapshot_size(p, count):
    """Takes a snapshot by the bar's button; the size of the newest JPEG once
    `count` JPEGs are in the snapshot folder."""
    p.click(SNAP)
    files = wait_until(lambda: len(glob.glob(p.file("Export/Image/img_*.jpg"))) >= count and
                       glob.glob(p.file("Export/Image/img_*.jpg")), timeout=30)
    if not files:
        return None
    newest = max(files, key=os.path.getmtime)
    wait_until(lambda: os.path.getsize(newest) > 0 and Image.open(newest).size, timeout=10)
    return Image.open(newest).size


def main():
    check = Checks()
    xvfb, display = start_x()
    try:
        p = Program(display, "4", "")
        live = p.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
        check(lit_share(live, VIEW) > 0.5, "the camera is live")

        full = snapshot_size(p, 1)
        check(full is not None, "the snap button writes a JPEG into Export/Image")
        thumbs = wait_until(lambda: glob.glob(p.file(".scaleImage/*.jpg")), timeout=30)
        check(bool(thumbs), "its thumbnail is written for the recent list")

        check(red_stop_shown(p.click(RECORD, until=red_stop_shown, timeout=30)), "the stop button shows")
        videos = wait_until(lambda: glob.glob(p.file("Export/Video/video_*.mp4")), timeout=10)
        wait_until(lambda: videos and recorded_seconds(videos[0]) > 1.0, timeout=20)
        check(ini_value(p.file("OtherSet.ini"), "Resolution") in (None, "0"),
              "the recording's 1080p switch is not stored as the next start's resolution")
        p.click(RECORD, until=lambda img: not red_stop_shown(img), timeout=30)
        again = snapshot_size(p, 2)
        check(full is not None and again == full,
              "the camera is back at full size after the recording (%s, then %s)" % (full, again))
        if videos:
            probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height",
                                    "-show_entries", "format=duration", "-of", "json", videos[0]],
                                   capture_output=True, text=True)
            info = json.loads(probe.stdout or "{}")
            streams = info.get("streams", [{}])
            check(probe.returncode == 0 and streams[0].get("codec_name") == "h264", "ffprobe reads an H.264 stream")
            check(float(info.get("format", {}).get("duration", 0)) > 0.5 and streams[0].get("width") == 1920,
                  "the recording lasts more than 0.5 s at 1920 x 1080")
        else:
            check(False, "an MP4 is written into Export/Video")

        # The column's scroll bar shows once the settings are drawn: a drag
        # the program reads before would start on the panel below it.
        p.click(TAB_SETTINGS, changes=COLUMN)
        scroll_to_end(p)
        chinese = p.shot("settings_chinese")
        # The keys go to the list once it has opened over the column.
        p.click(LANGUAGE_BOX, changes=COLUMN)
        p.key("Down")
        p.key("Return")
        # Changed, and laid out: two screenshots in a row show the same column
        # (the texts change first, the layout follows).
        last = [chinese]

        def relaid(img):
            done = differing(chinese, img, COLUMN) > 500 and differing(last[0], img, COLUMN) == 0
            last[0] = img
            return done
        english = p.wait_for("settings_english", relaid, timeout=30)
        check(differing(chinese, english, COLUMN) > 500, "the column's texts change with the language")
        check(p.stop() == 0, "the program ends with exit code 0")

        q = Program(display, "4", "", app_dir=p.dir)
        q.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
        # Ended while it records: the next start is at full size again.
        check(red_stop_shown(q.click(RECORD, until=red_stop_shown, timeout=30)), "a second recording runs")
        check(q.stop() == 0, "terminate while recording ends the program with exit code 0")
        check(ini_value(p.file("OtherSet.ini"), "Resolution") in (None, "0"),
              "a program ended while recording has not stored the 1080p switch")
        r = Program(display, "4", "", app_dir=p.dir)
        r.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
        restarted = snapshot_size(r, 3)
        check(full is not None and restarted == full,
              "after a program ended while recording, the camera starts at full size (%s)" % (restarted,))
        r.click(TAB_SETTINGS, changes=COLUMN)
        scroll_to_end(r)
        again = r.wait_for("settings_restart", lambda img: differing_labels(english, img, COLUMN) < 200, timeout=30)
        check(differing_labels(english, again, COLUMN) < 200 < differing_labels(chinese, again, COLUMN),
              "the interface starts in English after a restart")
        r.stop()
    finally:
        xvfb.terminate()
        xvfb.wait()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
