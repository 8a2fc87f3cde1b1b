"""The real Sevrin under a virtual X server, for whole-program tests: start
Xvfb, start the program in a folder of its own, click, type and take
screenshots. Import it from a test with sys.path pointing at tests/support.

Whole-program tests run beside each other and beside everything else: each
test starts its own X server, each program runs in a folder of its own (its
home and configuration folders too), and nothing waits a fixed time or for a
quiet moment: a step waits for the state it expects (a window, pixels of a
screenshot, a file). Input needs no wait of its own: X hands the program its
clicks and keys in order, so a click or key meant for the same window as the
one before goes out at once; only input for a window a click opens waits for
that window (and its keyboard focus)."""
import atexit
import contextlib
import ctypes
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops, ImageGrab

BUILD = os.environ.get("SEVRIN_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SEVRIN = os.path.join(BUILD, "Sevrin")
KEEP = os.environ.get("SEVRIN_KEEP_SHOTS")  # folder to keep the screenshots in

# Every temporary folder of the run (the programs' folders, the window
# manager's, the test's own) is made inside one folder, and the programs take
# their temporary files there too. It is removed when the test ends, unless
# the test failed and SEVRIN_KEEP_TEMP asks to keep it (the path is printed).
RUN_DIR = tempfile.mkdtemp(prefix="sevrin-run-")
tempfile.tempdir = RUN_DIR
os.environ["TMPDIR"] = RUN_DIR
_failed = False
_exit = sys.exit
_excepthook = sys.excepthook


def _note_exit(code=None):
    global _failed
    if code not in (0, None):
        _failed = True
    _exit(code)


def _note_exception(kind, value, trace):
    global _failed
    _failed = True
    _excepthook(kind, value, trace)


def _remove_run_dir():
    if _failed and os.environ.get("SEVRIN_KEEP_TEMP"):
        print("temporary files kept in " + RUN_DIR, flush=True)
        return
    shutil.rmtree(RUN_DIR, ignore_errors=True)


sys.exit = _note_exit
sys.excepthook = _note_exception
atexit.register(_remove_run_dir)
# The interface's left column: the open panel, right of the tabs and below
# a panel's own page tabs.
PANELS = (62, 62, 570, 1040)
LEFT_COLUMN = (300, 600)
TAB_STRIP, TAB_STRIP_GREY = (20, 800), (163, 163, 163)
PANEL_GREY = (210, 210, 210)


# Where the device panel's camera list shows its white field once the start-up
# camera scan has built the panel (the column is bare grey before).
CAMERA_LIST = (300, 54)


def started(img):
    """The interface is drawn (the left column's grey) and the camera scan
    that follows its first paint has built the device panel."""
    return img.getpixel(LEFT_COLUMN) == PANEL_GREY and img.getpixel(CAMERA_LIST) != PANEL_GREY


def interface_shown(img):
    """The interface is shown above the main window: the strip of panel tabs
    (below the tabs, whichever panel is open) shows its grey, where the main
    window is darker."""
    return img.getpixel(TAB_STRIP) == TAB_STRIP_GREY


def private_env(folder, display):
    """The environment of a program run in folder on display: home, settings,
    caches and runtime files all inside folder."""
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=folder)
    for key, sub in (("XDG_CONFIG_HOME", ".config"), ("XDG_CACHE_HOME", ".cache"), ("XDG_DATA_HOME", ".local/share"),
                     ("XDG_RUNTIME_DIR", ".runtime")):
        path = os.path.join(folder, sub)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[key] = path
    env.pop("SDL_VIDEODRIVER", None)
    env.pop("SESSION_MANAGER", None)
    return env


def grab(display):
    return ImageGrab.grab(xdisplay=display).convert("RGB")


def needs(tool):
    """Ends the test, saying so in one line, when tool is not on the PATH
    (bash scripts/setup.sh installs every tool the tests run)."""
    if not shutil.which(tool):
        sys.exit("%s is needed and is not installed: bash scripts/setup.sh installs it" % tool)


def start_x():
    """An Xvfb of 1920 x 1080 on a free display; returns (process, display)
    once it takes connections. The server picks the display itself (the
    first whose lock it gets) and names it once it listens, so tests
    started at once never share one. It never resets: an X server resets
    when its last client leaves, and closes every connection then being
    made, which ends a program starting at that moment ("could not connect
    to display") while the test's own X tools come and go."""
    r, w = os.pipe()
    with tempfile.TemporaryFile() as log:
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-noreset", "-screen", "0", "1920x1080x24",
                                 "-nolisten", "tcp"], pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=log)
        os.close(w)
        number = b""
        with os.fdopen(r, "rb", buffering=0) as named:
            while not number.endswith(b"\n"):
                chunk = named.read(16)
                if not chunk:
                    xvfb.kill()
                    xvfb.wait()
                    log.seek(0)
                    raise RuntimeError("Xvfb did not start (exit code %s): %s" % (
                        xvfb.returncode, log.read().decode(errors="replace").strip()))
                number += chunk
    return xvfb, ":" + number.decode().strip()


def stop_x(xvfb, timeout=30):
    """Ends an X server of start_x. It removes its lock file and socket in
    /tmp as it ends; a killed server leaves them behind."""
    xvfb.terminate()
    try:
        xvfb.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        xvfb.kill()
        xvfb.wait()


class Program:
    """Sevrin started in app_dir (a new temporary folder when None), which is
    both its working and its application directory."""

    def __init__(self, display, usb, net, app_dir=None, ready=None, extra_env=None, cores=None, address_space=None):
        """cores: a set of CPU numbers the program (and every thread it
        starts) is pinned to; None leaves it to the system. address_space:
        the program's address-space limit in bytes (as `prlimit --as`), or
        None for none."""
        self.dir = app_dir or tempfile.mkdtemp(prefix="sevrin-whole-")
        self.display = display
        self.env = private_env(self.dir, display)
        self.env.update(SEVRIN_APP_DIR=self.dir, SEVRIN_SIM_USB=usb, SEVRIN_SIM_NET=net)
        self.env.update(extra_env or {})
        self.log = open(os.path.join(self.dir, "log.txt"), "a")
        def prepare():
            if cores:
                os.sched_setaffinity(0, cores)
            if address_space:
                resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))

        self.proc = subprocess.Popen([SEVRIN], cwd=self.dir, env=self.env, stdout=self.log, stderr=subprocess.STDOUT,
                                     preexec_fn=prepare if cores or address_space else None)
        self.shots = 0
        last_nudge = [time.monotonic()]

        def shown():
            if self.proc.poll() is not None or visible_window(self.env, "Varnel"):
                return True
            if time.monotonic() - last_nudge[0] >= 1.0:
                last_nudge[0] = time.monotonic()
                nudge_wm(self.env)
            return False

        if not wait_until(shown, timeout=60) or self.proc.poll() is not None:
            report = self.state()
            self.proc.kill()
            self.proc.wait()
            self.log.close()
            raise RuntimeError("the main window did not show:\n" + report)
        # Started: the interface is drawn over the main window (the device
        # panel's grey column), with its camera list.
        self.wait_for("started", ready or started, timeout=30)

    def file(self, rel):
        return os.path.join(self.dir, rel)

    def xdo(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True)

    def _input(self, send, until, changes, timeout, name):
        """Sends input (send()); with until, waits until until(screenshot)
        holds; with changes (a box or a list of boxes), until that part of the
        screen differs from what it showed before the input. The last
        screenshot, or None when there was nothing to wait for."""
        boxes = [changes] if changes and isinstance(changes[0], int) else changes
        before = self.grab() if boxes else None
        send()
        if boxes:
            was = until or (lambda img: True)
            until = lambda img: was(img) and any(  # noqa: E731
                before.crop(b).tobytes() != img.crop(b).tobytes() for b in boxes)
        if until:
            return self.wait_for(name, until, timeout=timeout)
        return None

    def click(self, pos, until=None, changes=None, timeout=20.0, button=1):
        """Clicks at pos, then waits for the state it leads to (see _input)."""
        return self._input(lambda: self.xdo("mousemove", pos[0], pos[1], "click", button), until, changes, timeout,
                           "after_click")

    def key(self, *keys, until=None, changes=None, timeout=20.0):
        return self._input(lambda: self.xdo("key", *keys), until, changes, timeout, "after_key")

    def type(self, text, until=None, changes=None, timeout=20.0):
        return self._input(lambda: self.xdo("type", "--delay", 40, text), until, changes, timeout, "after_type")

    @contextlib.contextmanager
    def held(self):
        """The program stopped while the block sends input, then let go: it
        reads all that input in one go, as a program running late on a busy
        machine does (the block waits for nothing the program draws)."""
        self.proc.send_signal(signal.SIGSTOP)
        try:
            yield
        finally:
            self.proc.send_signal(signal.SIGCONT)

    def wait_interface(self, name="interface", timeout=20.0):
        """Waits until the interface shows above the main window (a window
        manager raises the main window as a dialog of it closes; the program
        then raises its interface again): clicks before would reach the main
        window. The last screenshot."""
        return self.wait_for(name, interface_shown, timeout=timeout)

    def wait_window(self, title, timeout=30):
        """Id of the visible window titled title once it has the keyboard
        (None when none showed)."""
        wid = wait_until(lambda: self.window(title), timeout)
        wait_focus(self.env, wid, timeout)
        return wid

    def window(self, title):
        """Id of the first visible window whose name matches title, or None."""
        return visible_window(self.env, title)

    def state(self):
        """What the program, the window manager and the X server are doing, for
        a wait that timed out: whether the program runs, what each of its
        threads waits in (and their stacks, when gdb is there), the end of its
        output, and the windows X and the window manager know."""
        ended = [] if self.proc.poll() is None else ["the program ended with exit code %s" % self.proc.returncode]
        return "\n".join(ended + process_state(self.proc.pid, "the program") + [
            "its output ends:"] + ["  " + line for line in tail(self.log.name, 30)] + x_state(self.env))

    def grab(self):
        return grab(self.display)

    def shot(self, name):
        img = self.grab()
        self.shots += 1
        if KEEP:
            os.makedirs(KEEP, exist_ok=True)
            img.save(os.path.join(KEEP, name + ".png"))
        return img

    def wait_for(self, name, test, timeout=20.0):
        """Screenshots until test(image) holds or the time runs out; the last one."""
        end = time.time() + timeout
        while True:
            img = self.shot(name)
            if test(img) or time.time() > end:
                return img
            time.sleep(0.15)

    def stop(self, timeout=30):
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = "still running after %s s" % timeout
        self.log.close()
        return code


def start_wm(display, timeout=60.0):
    """openbox on display, with its own configuration folder; returns its
    process once it manages windows (it has announced itself on the root
    window and answers from its event loop). An openbox that ends before that
    (it may, right after clients were killed) is started again."""
    needs("openbox")
    folder = tempfile.mkdtemp(prefix="sevrin-wm-")
    env = private_env(folder, display)

    def announced():
        return "window id" in x_answer(env, ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])

    reason = "no answer"
    end = time.time() + timeout
    while time.time() < end:
        with tempfile.TemporaryFile() as log:
            wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=log)
            why = "it did not announce itself"
            if wait_until(lambda: wm.poll() is not None or announced(), max(1.0, end - time.time())):
                if wm.poll() is not None:
                    why = "it ended with exit code %s" % wm.returncode
                elif wm_answers(env, max(1.0, end - time.time())):
                    return wm
                else:
                    why = "it announced itself but did not answer"
            wm.kill()
            wm.wait()
            log.seek(0)
            reason = "; ".join(filter(None, (why, log.read().decode(errors="replace").strip())))
    raise RuntimeError("openbox did not start: " + reason)


start_openbox = start_wm


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


SUBSTRUCTURE_NOTIFY, SUBSTRUCTURE_REDIRECT = 1 << 19, 1 << 20


class XConnection:
    """A connection of the test's own to an X server (libX11), for the few
    requests the X tools do not make."""

    def __init__(self, display):
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.POINTER(_ClientMessage)]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
            [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
        for name in ("XDestroyWindow",):
            getattr(x11, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        for name in ("XFlush", "XCloseDisplay"):
            getattr(x11, name).argtypes = [ctypes.c_void_p]
        self.x11 = x11
        self.dpy = x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = x11.XDefaultRootWindow(self.dpy)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.x11.XCloseDisplay(self.dpy)

    def send(self, target, window, message_type, data, mask=0):
        """Sends the 32-bit ClientMessage message_type (an atom's name) about
        window to window target, with the event mask mask."""
        event = _ClientMessage(type=33, window=int(window), format=32,
                               message_type=self.x11.XInternAtom(self.dpy, message_type.encode(), 0))
        for i, value in enumerate(data):
            event.data[i] = value
        self.x11.XSendEvent(self.dpy, int(target), 0, mask, ctypes.byref(event))
        self.x11.XFlush(self.dpy)

    def create_window(self):
        """A 1 x 1 top-level window, never mapped."""
        return self.x11.XCreateSimpleWindow(self.dpy, self.root, 0, 0, 1, 1, 0, 0, 0)

    def destroy_window(self, window):
        self.x11.XDestroyWindow(self.dpy, window)
        self.x11.XFlush(self.dpy)


def close_request(display, window):
    """Asks window to close as a window manager's close button does (the
    WM_DELETE_WINDOW message of the ICCCM)."""
    with XConnection(display) as x:
        delete = x.x11.XInternAtom(x.dpy, b"WM_DELETE_WINDOW", 0)
        x.send(window, window, "WM_PROTOCOLS", [delete, 0])  # 0: CurrentTime


def wm_answers(env, timeout):
    """True once the window manager on env's display answers from its event
    loop: it gives a window of the test's own the frame extents the window
    asks for (_NET_REQUEST_FRAME_EXTENTS). openbox announces itself on the
    root window while it still starts, and what reaches it then may wait
    unread until something else comes (a program's first map request too:
    the program never showed). The request goes out again until it is
    answered: each one wakes the window manager."""
    with XConnection(env["DISPLAY"]) as x:
        probe = x.create_window()
        try:
            def answered():
                x.send(x.root, probe, "_NET_REQUEST_FRAME_EXTENTS", [], SUBSTRUCTURE_REDIRECT | SUBSTRUCTURE_NOTIFY)
                return "=" in x_answer(env, ["xprop", "-id", probe, "_NET_FRAME_EXTENTS"])
            return bool(wait_until(answered, timeout))
        finally:
            x.destroy_window(probe)


def nudge_wm(env):
    """Wakes the window manager on env's display, if one runs there. openbox
    can leave what has reached it unread until something else comes, not
    only while it starts: after a program ended, the next program's map
    request waited for ever (its client list still named the ended program's
    window). A window of the test's own made and destroyed, with a request
    about it, is something else coming; without a window manager it does
    nothing."""
    if "window id" not in x_answer(env, ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]):
        return
    with XConnection(env["DISPLAY"]) as x:
        probe = x.create_window()
        x.send(x.root, probe, "_NET_REQUEST_FRAME_EXTENTS", [], SUBSTRUCTURE_REDIRECT | SUBSTRUCTURE_NOTIFY)
        x.destroy_window(probe)


def with_and_without_wm(without, under_wm):
    """Runs without(display) on a new X server, then under_wm(display) on the
    same server once openbox manages it; cleans both up."""
    xvfb, display = start_x()
    try:
        without(display)
        wm = start_wm(display)
        try:
            under_wm(display)
        finally:
            wm.terminate()
            wm.wait(timeout=10)
    finally:
        stop_x(xvfb)


def interface_mapped(env):
    """True when the interface window (the translucent top-level named
    "Sevrin" that covers the screen) is mapped."""
    tree = x_answer(env, ["xwininfo", "-root", "-tree"])
    for line in tree.splitlines():
        parts = line.split()
        if len(parts) > 2 and parts[1] == '"Sevrin":' and '("Sevrin"' in line and "1920x1080" in line:
            info = window_info(env, parts[0])
            if info and info["viewable"]:
                return True
    return False


def focused_window(env):
    """Id of the window that has the keyboard focus (xdotool's answer), or None."""
    out = x_answer(env, ["xdotool", "getwindowfocus", "-f"]).split()
    return out[0] if out else None


def wait_focus(env, wid, timeout=20.0):
    """True once window wid has the keyboard focus: a key sent before would
    go to the window that had it."""
    return bool(wid) and bool(wait_until(lambda: focused_window(env) == str(wid), timeout))


def wait_until(test, timeout=20.0, step=0.1):
    """Polls test() until it returns something true; that value, or the last
    (false) one when the time runs out."""
    end = time.time() + timeout
    while True:
        value = test()
        if value or time.time() > end:
            return value
        time.sleep(step)


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
    geometry = wait_until(lambda: xdotool_geometry(env, visible_window(env, name)), timeout)
    if not geometry:
        raise AssertionError("no window titled %r showed in %s s" % (name, timeout))
    return geometry


class NoShape(AssertionError):
    pass


def measure_with_tool(p, tool, points, box, least=150, timeout=20.0):
    """Picks the palette tool at `tool` once and clicks `points`; waits until
    at least `least` new red pixels show in box and raises NoShape when they
    never do (a chosen tool stays chosen: nothing is made again). (before,
    after) shots."""
    before = p.shot("before_tool")
    p.click(tool)
    for point in points:
        p.click(point)
    after = p.wait_for("after_tool", lambda img: red_new_pixels(before, img, box) > least, timeout=timeout)
    if red_new_pixels(before, after, box) <= least:
        raise NoShape("no shape drawn in %s after the tool at %s and clicks at %s" % (box, tool, points))
    return before, after


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
        global _failed
        _failed = _failed or bool(self.failures)
        print("%d passed, %d failed" % (self.count - len(self.failures), len(self.failures)))
        return 1 if self.failures else 0


def without_and_with_window_manager(run):
    """Calls run(display, label) on a new X server, first without a window
    manager and then under openbox; label names the case in messages."""
    with_and_without_wm(lambda display: run(display, "without a window manager"),
                        lambda display: run(display, "with a window manager"))


def answer_file_dialog(env, title, path, timeout=30):
    """Waits for the program's file dialog titled title, types path into its
    name field and accepts it; True once the dialog has gone."""
    wid = wait_until(lambda: visible_window(env, title), timeout=timeout)
    if not wid:
        return False
    subprocess.run(["xdotool", "windowfocus", "--sync", wid], env=env)
    subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+a"], env=env, check=True)
    subprocess.run(["xdotool", "type", "--delay", "5", path], env=env, check=True)
    subprocess.run(["xdotool", "key", "Return"], env=env, check=True)
    return wait_until(lambda: not visible_window(env, title), timeout=timeout)


def bounding_box(img, box, test, step=1):
    """(left, top, right, bottom) of the pixels of box for which test((r, g, b))
    holds, right and bottom exclusive; None when there are none."""
    region = img.crop(box)
    w, h = region.size
    px = region.load()
    xs, ys = [], []
    for y in range(0, h, step):
        for x in range(0, w, step):
            if test(px[x, y]):
                xs.append(x)
                ys.append(y)
    if not xs:
        return None
    return box[0] + min(xs), box[1] + min(ys), box[0] + max(xs) + 1, box[1] + max(ys) + 1


def readable(path):
    """The picture at path (RGB) once it is completely written, else None."""
    try:
        img = Image.open(path)
        img.load()
        return img.convert("RGB")
    except (OSError, SyntaxError):
        return None


def picture_on_disk(path):
    """(format, size) of the picture at path once a reader can open it, else None
    (the program writes pictures under a temporary name and renames them)."""
    try:
        with Image.open(path) as im:
            im.load()
            return im.format, im.size
    except Exception:
        return None


# The way to focus stacking at 1920 x 1080 (interface size factor 10): the
# device panel's Open, the composite tab, its focus-stacking page, and on
# that page Zoom And Align and Start.
OPEN_BUTTON = (531, 54)
TAB_COMPOSITE = (29, 238)
TAB_FOCUS = (442, 49)
FOCUS_ALIGN_BOX = (77, 516)
FOCUS_START = (313, 557)
LIVE_VIEW = (650, 200, 1850, 600)  # on the picture in either layout of the view area
FOCUS_WORKER = "ThreadJingShenH"  # the stacking worker's thread (its class name, cut to 15 characters)


def start_focus_stacking(p, align_off=False):
    """Opens the first camera of program p, goes to the focus-stacking page
    and presses Start, as a user does; with align_off, Zoom And Align is
    turned off first."""
    p.click(OPEN_BUTTON, until=lambda img: lit_share(img, LIVE_VIEW) > 0.5, timeout=60)
    p.click(TAB_COMPOSITE, changes=PANELS, timeout=60)
    p.click(TAB_FOCUS, until=focus_start_shown, timeout=60)
    if align_off:
        x, y = FOCUS_ALIGN_BOX
        p.click(FOCUS_ALIGN_BOX, changes=(x - 8, y - 8, x + 8, y + 8))
    p.click(FOCUS_START)


def thread_cpu_ms(pid, name=None):
    """CPU time (ms) the threads of process pid called name (any name when
    None) have used; None while there is none."""
    total = None
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return None
    for tid in tasks:
        try:
            if name and open("/proc/%d/task/%s/comm" % (pid, tid)).read().strip() != name:
                continue
            total = (total or 0) + int(open("/proc/%d/task/%s/schedstat" % (pid, tid)).read().split()[0]) / 1e6
        except OSError:
            continue
    return total


def focus_start_shown(img):
    """The focus-stacking page of the composite panel is laid out: its Start
    button spans the column as one (row 550, x 80 to 540, one colour that is
    not the panel's grey). The stitching page shows two buttons there, with a
    gap and a label between them, and a page still being laid out shows the
    panel's grey."""
    row = {img.getpixel((x, 550)) for x in range(80, 541, 10)}
    return len(row) == 1 and row != {PANEL_GREY}


def band_sharpness(img, box, bands=8):
    """Mean 3 x 3 edge response (PIL's FIND_EDGES on grey) of each of `bands`
    equal column bands of box, left to right: a band that stayed blurred
    stands out where a mean over the whole box would hide it."""
    from PIL import ImageFilter, ImageStat
    edges = img.crop(box).convert("L").filter(ImageFilter.FIND_EDGES)
    width, height = edges.size
    out = []
    for k in range(bands):
        # One pixel in from each side: the filter's border answers differently.
        left, right = max(1, k * width // bands), min(width - 1, (k + 1) * width // bands)
        out.append(ImageStat.Stat(edges.crop((left, 1, right, height - 1))).mean[0])
    return out


def process_windows(env, pid):
    """Ids of the visible top-level windows of process pid."""
    return set(find_windows(env, "--onlyvisible", "--pid", pid))


def new_window(env, pid, known, timeout=30.0, fits=lambda wid: True):
    """Id of the window of process pid that is new (visible, not in known,
    fits(id) holds) once it is the one such window; None when none came or
    several stayed new the whole time."""
    return one_new(lambda: process_windows(env, pid), known, timeout, fits)


def one_new(windows, known, timeout=30.0, fits=lambda wid: True):
    """The id in windows() (a set of ids) that is not in known and fits(id),
    once it is the one such id; None when none came or several stayed new the
    whole time (they are named on the output: a pick among them could be any
    of them)."""
    seen = set()

    def one():
        new = {wid for wid in windows() - set(known) if fits(wid)}
        seen.clear()
        seen.update(new)
        return new.pop() if len(new) == 1 else None
    wid = wait_until(one, timeout)
    if not wid and seen:
        print("several new windows, none taken: %s" % ", ".join(sorted(seen)), flush=True)
    return wid


def wait_new_window(env, pid, known, timeout=20.0):
    """(x, y, width, height) of the visible window of pid that is not in
    known (and wider than 20 pixels), once one is mapped; None when none came."""
    return xdotool_geometry(env, new_window(env, pid, known, timeout,
                                            lambda wid: (xdotool_geometry(env, wid) or (0, 0, 0, 0))[2] > 20))


LOOP_LINE = re.compile(r"loop: (\S+) ms passes (\S+) longest_gap_ms (\S+) work_wall_ms (\S+) work_cpu_ms (\S+) "
                       r"shown (\S+)(?: nested (\S+))?")


def loop_seconds(log_path, offset=0):
    """The program's once-a-second loop figures (SEVRIN_LOOP_STATS=1) written
    to its log after byte offset: dicts of ms, passes, gap, wall, cpu, shown
    and nested (passes run inside a dialog's or menu's own loop)."""
    with open(log_path, errors="replace") as f:
        f.seek(offset)
        text = f.read()
    keys = ("ms", "passes", "gap", "wall", "cpu", "shown", "nested")
    return [dict(zip(keys, (float(v) if v else 0.0 for v in m))) for m in LOOP_LINE.findall(text)]


def changed_outside(a, b, box, hole):
    """changed_pixels over box, leaving out the rectangle hole (x, y, w, h)."""
    a, b = a.copy(), b.copy()
    x, y, w, h = hole
    for img in (a, b):
        img.paste((0, 0, 0), (x, y, x + w, y + h))
    return changed_pixels(a, b, box)


def window_rect(env, wid):
    """(x, y, width, height) of window wid on the screen, its contents only:
    unlike xdotool's geometry, right under a window manager's frame too."""
    info = window_info(env, wid)
    if not info:
        raise AssertionError("window %s is gone" % wid)
    return info["rect"]


# Window lookup. X tools (xdotool, xwininfo, xprop) read the window tree in
# many requests; a window destroyed between two of them ends the tool with an
# X error and no answer. Such an answer says nothing about the windows: the
# question is asked again, and only a tool that keeps failing is an error.
X_TRIES = 40


class XToolError(RuntimeError):
    pass


def x_answer(env, args, nothing=None):
    """The output of X tool args (run in env). nothing(result) tells the
    answers that mean "no such window" (None is returned for them); any other
    failure, or an X error on stderr, is asked again, up to X_TRIES times,
    then raised as XToolError."""
    for attempt in range(X_TRIES):
        result = subprocess.run([str(a) for a in args], env=env, capture_output=True, text=True)
        if nothing and nothing(result):
            return None
        if result.returncode == 0 and "X Error" not in result.stderr:
            return result.stdout
        if attempt + 1 < X_TRIES:
            time.sleep(0.02 * (attempt + 1))
    raise XToolError("%s failed %d times, last with exit code %d: %s" % (
        " ".join(str(a) for a in args), X_TRIES, result.returncode, result.stderr.strip()))


def found_nothing(result):
    """xdotool search's answer when no window matched: exit code 1, silent."""
    return result.returncode == 1 and not result.stdout.strip() and not result.stderr.strip()


def find_windows(env, *criteria):
    """Ids of the windows xdotool search finds with criteria (in its order)."""
    return (x_answer(env, ["xdotool", "search"] + list(criteria), found_nothing) or "").split()


def visible_window(env, name):
    """Id of a visible window titled name, or None."""
    out = find_windows(env, "--onlyvisible", "--name", name)
    return out[0] if out else None


def titled_windows(env, name=""):
    """Ids of the visible windows whose title matches name (any title when empty)."""
    return set(find_windows(env, "--onlyvisible", "--name", name))


def no_such_window(result):
    return result.returncode != 0 and "No such window" in result.stderr


def window_info(env, wid):
    """xwininfo's answer on window wid: a dict of rect ((x, y, width, height)
    of its contents on the screen), viewable (mapped, and every ancestor too),
    parent and root (ids as numbers); None when there is no such window."""
    out = x_answer(env, ["xwininfo", "-children", "-stats", "-id", hex(int(str(wid), 0))], no_such_window)
    if out is None:
        return None
    fields = dict(line.strip().partition(":")[::2] for line in out.splitlines() if ":" in line)
    return {"rect": tuple(int(fields[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width",
                                                    "Height")),
            "viewable": fields["Map State"].strip() == "IsViewable",
            "parent": int(fields["Parent window id"].split()[0], 16),
            "root": int(fields["Root window id"].split()[0], 16)}


def xdotool_geometry(env, wid):
    """(x, y, width, height) of window wid as xdotool gives it; None for no
    window (wid None or a window that has gone)."""
    if wid is None:
        return None
    try:
        out = x_answer(env, ["xdotool", "getwindowgeometry", "--shell", wid])
    except XToolError:
        if window_info(env, wid) is None:
            return None
        raise
    g = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def managed_windows(env):
    """The window manager's client list (_NET_CLIENT_LIST of the root window),
    as numbers; empty without a window manager."""
    out = x_answer(env, ["xprop", "-root", "_NET_CLIENT_LIST"])
    return {int(w, 16) for w in re.findall(r"0x[0-9a-fA-F]+", out.partition("#")[2])}


def frame_of(env, wid):
    """The top-level window holding window wid: a window manager's frame
    around it, or the window itself; None when it has gone."""
    top = int(str(wid), 0)
    while True:
        info = window_info(env, top)
        if info is None:
            return None
        if info["parent"] in (0, info["root"]):
            return top
        top = info["parent"]


def wait_closed(env, wid, close, timeout=20.0):
    """Runs close() (input that closes window wid); True once the window is
    unmapped or destroyed and the window manager has let go of it: off its
    client list, and its frame unmapped or destroyed. A slow window manager
    shows the frame of a closed window a while: a click there does not reach
    the window below."""
    wid = int(str(wid), 0)  # xdotool's ids are decimal, xprop's hexadecimal
    frame = frame_of(env, wid)
    close()

    def gone():
        if wid in managed_windows(env):
            return False
        return all(not info or not info["viewable"] for info in
                   (window_info(env, w) for w in dict.fromkeys((wid, frame)) if w is not None))
    return bool(wait_until(gone, timeout))


def tail(path, lines):
    try:
        with open(path, errors="replace") as f:
            return f.read().splitlines()[-lines:]
    except OSError as e:
        return ["(unreadable: %s)" % e]


def process_state(pid, what):
    """Lines on process pid: running or not, each thread's state and the
    kernel function it waits in, and (with gdb) each thread's stack."""
    try:
        status = dict(line.partition(":")[::2] for line in open("/proc/%d/status" % pid).read().splitlines())
    except OSError:
        return ["%s (%d) is not running" % (what, pid)]
    lines = ["%s (%d) runs: %s" % (what, pid, status.get("State", "?").strip())]
    for tid in sorted(os.listdir("/proc/%d/task" % pid), key=int):
        try:
            base = "/proc/%d/task/%s/" % (pid, tid)
            stat = open(base + "stat").read().rpartition(")")[2].split()
            lines.append("  thread %s %s: %s, waits in %s" % (tid, open(base + "comm").read().strip(), stat[0],
                                                             open(base + "wchan").read().strip() or "-"))
        except OSError:
            continue
    if shutil.which("gdb"):
        try:
            out = subprocess.run(["gdb", "-batch", "-nx", "-p", str(pid), "-ex", "thread apply all bt 25"],
                                 capture_output=True, text=True, timeout=120).stdout
            lines += ["  " + line for line in out.splitlines() if line.startswith(("#", "Thread"))]
        except subprocess.TimeoutExpired:
            lines.append("  (gdb gave no stacks in 120 s)")
    return lines


def x_state(env):
    """Lines on the X server of env: the window manager it names (and that
    process's state), its client list and the top-level windows."""
    try:
        out = x_answer(env, ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK", "_OPENBOX_PID"])
        lines = ["the root window: " + " ".join(out.split("\n"))]
        pid = re.search(r"_OPENBOX_PID\(CARDINAL\) = (\d+)", out)
        if pid:
            lines += process_state(int(pid.group(1)), "openbox")
        lines.append("the window manager's clients: %s" % ", ".join(hex(w) for w in sorted(managed_windows(env))))
        lines.append("top-level windows:")
        for line in x_answer(env, ["xwininfo", "-root", "-children"]).splitlines():
            if line.strip().startswith("0x"):
                wid = line.split()[0]
                info = window_info(env, wid)
                lines.append("  %s, %s" % (line.strip(), "gone" if not info else
                                           "mapped" if info["viewable"] else "unmapped"))
                if info and "(has no name)" not in line:
                    # What the window manager made of it: its state and the
                    # state the program asked for.
                    states = x_answer(env, ["xprop", "-id", wid, "WM_STATE", "_NET_WM_STATE", "WM_HINTS"],
                                      lambda r: r.returncode != 0 and "BadWindow" in r.stderr) or ""
                    lines += ["    " + state for state in states.splitlines()]
        return lines
    except XToolError as e:
        return ["the X server does not answer: %s" % e]
