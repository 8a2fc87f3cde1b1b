#!/usr/bin/python3
"""The capture bar and the settings column in the real program under a virtual
X server: a snapshot by the bar's button lands as a JPEG in the snapshot folder
with its thumbnail in the recent list; record and stop make an MP4 that
ffprobe reads (the 4K camera goes to 1080p for it and back); the language box
switches the interface to English, which is still English after a restart."""
import glob
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../support"))
from sevrin_x import Checks, Program, lit_share, start_x, wait_until  # noqa: E402

from PIL import ImageChops  # noqa: E402

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


def scroll_to_end(p):
    """Drags the settings column's scroll bar to its end (the wheel zooms the picture)."""
    x, y = COLUMN_SCROLL_BAR
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "mousedown", "1", "sleep", "0.2", "mousemove", str(x),
                    "600", "sleep", "0.2", "mousemove", str(x), "1075", "sleep", "0.2", "mouseup", "1"],
                   env=p.env, check=True)
    time.sleep(0.5)


def main():
    check = Checks()
    xvfb, display = start_x()
    try:
        p = Program(display, "4", "")
        p.click(OPEN_BUTTON, wait=1.0)
        live = p.wait_for("capture_live", lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
        check(lit_share(live, VIEW) > 0.5, "the camera is live")

        p.click(SNAP)
        jpgs = wait_until(lambda: glob.glob(p.file("Export/Image/img_*.jpg")), timeout=30)
        check(bool(jpgs), "the snap button writes a JPEG into Export/Image")
        thumbs = wait_until(lambda: glob.glob(p.file(".scaleImage/*.jpg")), timeout=30)
        check(bool(thumbs), "its thumbnail is written for the recent list")

        p.click(RECORD)
        check(red_stop_shown(p.wait_for("capture_recording", red_stop_shown, timeout=30)), "the stop button shows")
        videos = wait_until(lambda: glob.glob(p.file("Export/Video/video_*.mp4")), timeout=10)
        wait_until(lambda: videos and os.path.getsize(videos[0]) > 200000, timeout=20)
        p.click(RECORD)
        check(wait_until(lambda: ini_value(p.file("OtherSet.ini"), "Resolution") == "0", timeout=10),
              "the camera is back at full size after the recording")
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

        p.click(TAB_SETTINGS)
        scroll_to_end(p)
        chinese = p.shot("settings_chinese")
        p.click(LANGUAGE_BOX)
        p.key("Down")
        p.key("Return")
        english = p.wait_for("settings_english", lambda img: differing(chinese, img, COLUMN) > 500, timeout=10)
        check(differing(chinese, english, COLUMN) > 500, "the column's texts change with the language")
        check(p.stop() == 0, "the program ends with exit code 0")

        q = Program(display, "4", "", app_dir=p.dir)
        q.click(OPEN_BUTTON, wait=1.0)
        q.wait_for("restart_live", lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
        q.click(TAB_SETTINGS)
        scroll_to_end(q)
        again = q.wait_for("settings_restart", lambda img: differing(english, img, COLUMN) < 200, timeout=10)
        check(differing(english, again, COLUMN) < 200, "the interface starts in English after a restart")
        q.stop()
    finally:
        xvfb.terminate()
        xvfb.wait()
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
