"""The real Sevrin under a virtual X server, for whole-program tests: start
Xvfb, start the program in a folder of its own, click, type and take
screenshots. Import it from a test with sys.path pointing at tests/support."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

from PIL import Image, ImageChops

BUILD = os.environ.get("SEVRIN_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SEVRIN = os.path.join(BUILD, "Sevrin")
KEEP = os.environ.get("SEVRIN_KEEP_SHOTS")  # folder to keep the screenshots in


def start_x():
    """An Xvfb of 1920 x 1080 on a free display; returns (process, display)."""
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(r)
    return xvfb, ":" + number.decode().strip()


class Program:
    """Sevrin started in app_dir (a new temporary folder when None), which is
    both its working and its application directory."""

    def __init__(self, display, usb, net, app_dir=None):
        self.dir = app_dir or tempfile.mkdtemp(prefix="sevrin-whole-")
        self.env = dict(os.environ, DISPLAY=display, SEVRIN_APP_DIR=self.dir, SEVRIN_SIM_USB=usb,
                        SEVRIN_SIM_NET=net, QT_QPA_PLATFORM="xcb")
        self.env.pop("SDL_VIDEODRIVER", None)
        self.log = open(os.path.join(self.dir, "log.txt"), "a")
        self.proc = subprocess.Popen([SEVRIN], cwd=self.dir, env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Varnel"], env=self.env,
                       stdout=subprocess.DEVNULL, timeout=60)
        time.sleep(1.5)

    def file(self, rel):
        return os.path.join(self.dir, rel)
    def click(self, pos, wait=0.6):
        subprocess.run(["xdotool", "mousemove", str(pos[0]), str(pos[1]), "click", "1"], env=self.env, check=True)
        time.sleep(wait)

    def key(self, *keys):
        subprocess.run(["xdotool", "key"] + list(keys), env=self.env, check=True)
        time.sleep(0.4)

    def wait_window(self, title, timeout=30):
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", title], env=self.env,
                       stdout=subprocess.DEVNULL, timeout=timeout)
        time.sleep(0.5)

    def shot(self, name):
        path = os.path.join(self.dir, name + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        if KEEP:
            os.makedirs(KEEP, exist_ok=True)
            shutil.copy(path, os.path.join(KEEP, name + ".png"))
        return Image.open(path).convert("RGB")

    def wait_for(self, name, test, timeout=20.0):
        """Screenshots until test(image) holds or the time runs out; the last one."""
        end = time.time() + timeout
        while True:
            img = self.shot(name)
            if test(img) or time.time() > end:
                return img
            time.sleep(0.5)

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        code = self.proc.wait(timeout=20)
        self.log.close()
        return code


def wait_until(test, timeout=20.0):
    """Polls test() every 0.25 s until it returns something true; that value, or None."""
    end = time.time() + timeout
    while True:
        value = test()
        if value or time.time() > end:
            return value
        time.sleep(0.25)


def lit_share(img, box):
    """Share of pixels that are not black (a picture is shown)."""
    region = img.crop(box).resize(((box[2] - box[0]) // 4, (box[3] - box[1]) // 4))
    px = list(region.getdata())
    return sum(1 for r, g, b in px if r + g + b > 90) / len(px)


def coloured_share(img, box):
    """Share of strongly coloured pixels (the specimen's discs) in box."""
    region = img.crop(box).resize(((box[2] - box[0]) // 4, (box[3] - box[1]) // 4))
    px = list(region.getdata())
    coloured = sum(1 for r, g, b in px if max(r, g, b) - min(r, g, b) > 80)
    return coloured / len(px)


def changed_pixels(a, b, box):
    diff = ImageChops.difference(a.crop(box), b.crop(box)).convert("L")
    return sum(1 for v in diff.getdata() if v > 40)


def red_new_pixels(before, after, box):
    n = 0
    for (r0, g0, b0), (r1, g1, b1) in zip(before.crop(box).getdata(), after.crop(box).getdata()):
        if r1 > 170 and g1 < 90 and b1 < 90 and (abs(r1 - r0) + abs(g1 - g0) + abs(b1 - b0)) > 60:
            n += 1
    return n


def window_geometry(env, name, timeout=30):
    """(x, y, width, height) of the first visible window titled name, waiting for it."""
    wid = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", name], env=env,
                         capture_output=True, text=True, timeout=timeout).stdout.split()[0]
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], env=env, capture_output=True,
                         text=True).stdout
    g = dict(line.split("=", 1) for line in out.split())
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def red_rows(img, box, share=0.5):
    """Screen rows of box in which at least `share` of the pixels are strongly red."""
    rows = []
    width = box[2] - box[0]
    for y in range(box[1], box[3]):
        n = sum(1 for x in range(box[0], box[2], 4) if img.getpixel((x, y))[0] > 170 and img.getpixel((x, y))[1] < 90
                and img.getpixel((x, y))[2] < 90)
        if n * 4 >= share * width:
            rows.append(y)
    return rows


class Checks:
    def __init__(self):
        self.failures = []
        self.count = 0

    def __call__(self, cond, what):
        self.count += 1
        print(("ok   " if cond else "FAIL ") + what, flush=True)
        if not cond:
            self.failures.append(what)

    def summary(self):
        print("%d passed, %d failed" % (self.count - len(self.failures), len(self.failures)))
        return 1 if self.failures else 0


def with_and_without_window_manager(run):
    """Calls run(display, label) on a fresh Xvfb, first without a window
    manager, then with openbox; label says which."""
    xvfb, display = start_x()
    try:
        run(display, "without a window manager")
        wm = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=display), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        try:
            time.sleep(1.0)
            run(display, "with a window manager")
        finally:
            wm.terminate()
            wm.wait(timeout=10)
    finally:
        xvfb.terminate()
        xvfb.wait(timeout=10)
