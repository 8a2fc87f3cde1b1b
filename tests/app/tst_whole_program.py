#!/usr/bin/python3
"""The real program under a virtual X server, driven with xdotool and checked
by the pixels of screenshots: a simulated USB camera is opened from the device
panel and shows live under the interface, a line measured with two clicks is
drawn with its label over the video, a cross line is added from the line
panel, a simulated network camera shows live and its recording from the
capture bar carries 12 Mbit/s in every steady second, and a terminate request
ends the program with exit code 0."""
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from sevrin_x import (Program, changed_pixels, coloured_share, lit_share, measure_with_tool,  # noqa: E402,F401
                      red_new_pixels, start_x, wait_until, window_geometry)

# Screen positions at 1920 x 1080 (interface size factor 10).
OPEN_BUTTON = (531, 54)
TAB_MEASURE = (29, 181)
TAB_LINE = (29, 298)
LINE_TOOL = (125, 305)
ADD_H_LINE, OK_H_LINE = (488, 95), (531, 95)
NEW_SCALE = (95, 101)
COMBO_CAMERA = (330, 54)
RECORD_BUTTON = (721, 54)  # the capture bar's record button, which then stops the recording
VIEW = (600, 200, 1890, 790)  # part of the view area that the picture covers, above the table


failures = []
checks = [0]


def read_text(path):
    return open(path, encoding="utf-8").read() if os.path.exists(path) else ""


def ffprobe(path, *args):
    """ffprobe's answer about the video stream of path; a file it cannot read
    is an error, never an empty answer."""
    result = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0"] + list(args) + [path],
                            capture_output=True, text=True, timeout=120)
    if result.returncode != 0 or result.stderr.strip():
        raise RuntimeError("ffprobe could not read %s: %s" % (path, result.stderr.strip()))
    return result.stdout


def bits_each_second(path, rate):
    """The video stream's bits in each whole second of play, from ffprobe: a
    picture's bits are spread over the time it shows (until the next one; the
    last for one tick of `rate`)."""
    out = ffprobe(path, "-show_entries", "packet=pts_time,size", "-of", "csv=p=0")
    packets = sorted((float(line.split(",")[0]), int(line.split(",")[1]) * 8) for line in out.split())
    bits = []
    for i, (start, size) in enumerate(packets):
        end = packets[i + 1][0] if i + 1 < len(packets) else start + 1.0 / rate
        at = start
        while at < end - 1e-9:
            second = int(at + 1e-9)
            upto = min(end, second + 1.0)
            bits.extend([0.0] * (second + 1 - len(bits)))
            bits[second] += size * (upto - at) / (end - start)
            at = upto
    return bits


def picture_times(path):
    """The times the video's pictures play at, in order."""
    return sorted(float(t) for t in ffprobe(path, "-show_entries", "packet=pts_time", "-of", "csv=p=0").split())


def stream_entry(path, entry):
    """One of the video stream's entries as ffprobe states it."""
    return ffprobe(path, "-show_entries", "stream=" + entry, "-of", "csv=p=0").strip()


def fraction(text):
    num, _, den = text.partition("/")
    return float(num) / float(den or 1)


def frames_and_duration(path):
    out = ffprobe(path, "-count_frames", "-show_entries", "stream=nb_read_frames:format=duration",
                  "-of", "default=nw=1:nk=1").split()
    return int(out[0]), float(out[1])


def record_network_camera(display, sim, what):
    """Opens a simulated network camera, records it from the capture bar for
    over ten seconds of bits and reads the file back as a user does: 12
    Mbit/s +- 10 % in every steady second (neither the first nor the last,
    cut short), the rate it states is the rate it holds, a plain decode
    prints nothing and a plain conversion keeps every frame."""
    p = Program(display, "", sim)
    n1 = p.click(OPEN_BUTTON, until=lambda img: lit_share(img, VIEW) > 0.5, timeout=30)
    n2 = p.wait_for("net_live_2", lambda img: changed_pixels(n1, img, VIEW) > 20, timeout=10)
    check(lit_share(n1, VIEW) > 0.5, "the network camera's picture shows (%s)" % what)
    check(changed_pixels(n1, n2, VIEW) > 20, "the network picture is live (%s)" % what)
    p.click(RECORD_BUTTON)
    videos = lambda: glob.glob(os.path.join(p.dir, "Export", "Video", "*.mp4"))
    grown = wait_until(lambda: videos() and os.path.getsize(videos()[0]) > 10 * 12e6 / 8, timeout=60)
    check(bool(grown), "the recording grows (%s)" % what)
    p.click(RECORD_BUTTON)
    log = os.path.join(p.dir, "log.txt")
    wait_until(lambda: "ended:" in read_text(log), timeout=60)
    if videos():
        path = videos()[0]
        stated = fraction(stream_entry(path, "r_frame_rate"))
        average = fraction(stream_entry(path, "avg_frame_rate"))
        bits = bits_each_second(path, stated)
        steady = bits[1:-1]
        check(len(bits) >= 10 and all(abs(b - 12e6) <= 1.2e6 for b in steady),
              "the recording of %s carries 12 Mbit/s in every steady second: %s"
              % (what, " ".join("%.2f" % (b / 1e6) for b in bits)))
        frames, duration = frames_and_duration(path)
        # One picture each tick of the rate it states, from start to end.
        times = picture_times(path)
        steps = [(b - a) * stated for a, b in zip(times, times[1:])]
        check(all(abs(k - 1) <= 0.02 for k in steps),
              "every tick of the recording of %s at the %s/s it states holds a picture: %s"
              % (what, stream_entry(path, "r_frame_rate"), " ".join("%.3f" % k for k in steps if abs(k - 1) > 0.02)[:300]))
        check(abs(average - stated) <= 0.001 * stated and abs(frames - duration * stated) <= 1,
              "the recording of %s states the rate it holds: r_frame_rate %s, avg_frame_rate %s, %d frames in %.3f s"
              % (what, stream_entry(path, "r_frame_rate"), stream_entry(path, "avg_frame_rate"), frames, duration))
        decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                                capture_output=True, text=True, timeout=300)
        check(decode.returncode == 0 and decode.stderr.strip() == "",
              "a plain decode of the recording of %s prints nothing: %s" % (what, decode.stderr.strip()[:300]))
        converted = os.path.join(p.dir, "converted.mp4")
        subprocess.run(["ffmpeg", "-nostdin", "-y", "-v", "error", "-i", path, "-preset", "ultrafast", converted],
                       capture_output=True, timeout=600)
        out = frames_and_duration(converted)[0] if os.path.exists(converted) else -1
        check(out == frames, "a plain conversion of the recording of %s keeps its %d frames: %d" % (what, frames, out))
    code = p.stop()
    check(code == 0, "terminate ends the program with exit code 0 (%s, got %s)" % (what, code))


def check(cond, what):
    checks[0] += 1
    print(("ok   " if cond else "FAIL ") + what)
    if not cond:
        failures.append(what)


def main():
    xvfb, display = start_x()
    try:
        # USB camera: open from the device panel and watch it live.
        p = Program(display, "4", "")
        empty = p.shot("usb_before_open")
        check(coloured_share(empty, VIEW) < 0.01, "no picture before a camera is opened")
        live1 = p.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
        live2 = p.wait_for("usb_live_2", lambda img: changed_pixels(live1, img, VIEW) > 20, timeout=10)
        check(coloured_share(live1, VIEW) > 0.05, "the simulated specimen shows in the view area")
        check(changed_pixels(live1, live2, VIEW) > 20, "two screenshots a second apart differ in the video")
        # The interface is drawn over it: the title bar and the left column.
        check(live1.getpixel((960, 12))[0] < 110, "title bar drawn")
        check(live1.getpixel((300, 600)) == (210, 210, 210), "left column drawn")

        # A line measured with two clicks, its label drawn over the video.
        p.click(TAB_MEASURE)
        a, b = (760, 310), (1110, 470)
        box = (a[0] - 10, a[1] - 60, b[0] + 220, b[1] + 60)
        before, after = measure_with_tool(p, LINE_TOOL, [a, b], box)
        check(red_new_pixels(before, after, box) > 150, "the line and its label appear in red over the video")

        # A horizontal cross line from the line panel spans the picture, the
        # clicks read in one go, as a program running late reads them: the
        # panel the tab shows takes the clicks after it.
        before = p.shot("cross_before")
        with p.held():
            p.click(TAB_LINE)
            p.click(ADD_H_LINE)
            p.click(OK_H_LINE)
        after = p.wait_for("cross_after", lambda img: red_new_pixels(before, img, VIEW) > 400, timeout=30)
        check(red_new_pixels(before, after, VIEW) > 400, "a cross line is drawn across the picture, the clicks "
              "read in one go")

        # Calibration by two clicks: a scale "cal" of 5 mm over that distance is
        # stored in the camera's scale file and survives a restart.
        p.click(TAB_MEASURE)
        p.click(NEW_SCALE)
        p.click((700, 560))
        p.click((1000, 560))
        # The dialog's fields take the focus by click only; the clicks and
        # the typing go to the dialog once it is up and active.
        check(p.wait_window("定标信息") is not None, "the scale dialog opens and takes the keyboard")
        x, y, _, _ = window_geometry(p.env, "定标信息")
        p.click((x + 125, y + 23))
        p.type("cal")
        p.click((x + 120, y + 121))
        p.type("5")
        p.click((x + 85, y + 155))
        scale_ini = os.path.join(p.dir, "INI", "SCALE_INFO.ini")
        text = wait_until(lambda: "cal" in read_text(scale_ini) and read_text(scale_ini), timeout=10) or ""
        check("cal" in text, "the new scale is stored in INI/SCALE_INFO.ini")

        code = p.stop()
        check(code == 0, "terminate ends the program with exit code 0 (USB camera open, got %s)" % code)
        if "cal" in text:
            q = Program(display, "4", "", app_dir=p.dir)
            q.click(OPEN_BUTTON, until=lambda img: coloured_share(img, VIEW) > 0.05, timeout=30)
            q.click(TAB_MEASURE)
            q.shot("scale_after_restart")
            text2 = open(scale_ini, encoding="utf-8").read()
            check("cal" in text2, "the scale survives a restart")
            check(q.stop() == 0, "second run ends with exit code 0")

        # Network camera: the device list offers it; opened, it shows live.
        # It sends 5 frames a second, half its file's rate; then at the
        # model's own rate.
        for sim, what in (("0@192.168.1.10:fps=5", "a 5 fps camera"),
                          ("0@192.168.1.10", "a camera at the model's own rate")):
            record_network_camera(display, sim, what)
    finally:
        xvfb.terminate()
        xvfb.wait()
    print("%d passed, %d failed" % (checks[0] - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
