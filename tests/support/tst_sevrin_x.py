#!/usr/bin/python3
"""The whole-program tests' window lookup against stand-in X tools that give
set answers: an X error (a window destroyed while the tool read the tree) is
asked again, never taken for "no windows"; a new window is the one window
that is new; a closed window is gone once the window manager has let go of it;
a window manager is started once it answers; an X server of the tests' own
is on a display of its own and keeps its state while clients come and go."""
import json
import os
import socket
import stat
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sevrin_x as x  # noqa: E402

# What xdotool prints when a window it was reading is destroyed under it.
BAD = ("X Error of failed request:  BadWindow (invalid Window parameter)\n"
       "  Major opcode of failed request:  20 (X_GetProperty)\n")

# The stand-in: answers[tool] is a list of [part of the arguments, answers];
# the first entry whose part is in the call answers with its first answer
# (exit code, stdout, stderr), which is used up unless it is the last.
TOOL = r'''#!/usr/bin/python3
import json, os, sys
path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "answers.json")
answers = json.load(open(path))
call = " ".join(sys.argv[1:])
for part, queue in answers[os.path.basename(sys.argv[0])]:
    if part in call:
        code, out, err = queue[0] if len(queue) == 1 else queue.pop(0)
        json.dump(answers, open(path, "w"))
        sys.stdout.write(out)
        sys.stderr.write(err)
        sys.exit(code)
sys.exit("no answer for " + call)
'''


def stand_ins(answers):
    """An environment whose xdotool, xwininfo and xprop give answers."""
    folder = os.path.join(x.RUN_DIR, "tools")
    os.makedirs(folder, exist_ok=True)
    for tool in ("xdotool", "xwininfo", "xprop"):
        path = os.path.join(folder, tool)
        with open(path, "w") as f:
            f.write(TOOL)
        os.chmod(path, stat.S_IRWXU)
    with open(os.path.join(folder, "answers.json"), "w") as f:
        json.dump(answers, f)
    return dict(os.environ, PATH=folder + os.pathsep + os.environ["PATH"])


def search(*outcomes):
    return {"xdotool": [["search", list(outcomes)]]}


def info(wid, parent, viewable=True):
    """xwininfo's answer on a window of root 0x100."""
    return [0, "xwininfo: Window id: %s\n  Root window id: 0x100 (the root window)\n  Parent window id: %s\n"
               "  Absolute upper-left X:  10\n  Absolute upper-left Y:  20\n  Width: 300\n  Height: 200\n"
               "  Map State: %s\n" % (wid, parent, "IsViewable" if viewable else "IsUnMapped"), ""]


GONE = [1, "", "X Error: 9: Bad Drawable: 0x400030\nxwininfo: error: No such window with id 0x400030.\n"]


def closing(client, frame, listed):
    """Window 0x400030 in frame 0x200261: xwininfo's answers on each before
    and after the close, and the client list after it."""
    return {"xwininfo": [["0x400030", [info("0x400030", "0x200261"), client]],
                         ["0x200261", [info("0x200261", "0x100"), frame]]],
            "xprop": [["_NET_CLIENT_LIST", [[0, "_NET_CLIENT_LIST(WINDOW): window id # %s\n" % listed, ""]]]]}


LOOKUP = [
    # (what, stand-in answers, the windows of the process)
    ("a plain answer", search([0, "11\n12\n", ""]), {"11", "12"}),
    ("no window matched", search([1, "", ""]), set()),
    ("a window destroyed during the search, then an answer", search([1, "", BAD], [0, "11\n12\n", ""]), {"11", "12"}),
    ("an X error on stderr with exit code 0", search([0, "", BAD], [0, "11\n", ""]), {"11"}),
]

NEW = [
    # (what, answers, known windows, the new window)
    ("one new window", search([0, "11\n12\n", ""]), {"11"}, "12"),
    ("an X error before it", search([1, "", BAD], [0, "11\n12\n", ""]), {"11"}, "12"),
    ("two new, then one of them gone", search([0, "11\n12\n13\n", ""], [0, "11\n13\n", ""]), {"11"}, "13"),
    ("two new the whole time", search([0, "11\n12\n13\n", ""]), {"11"}, None),
]

CLOSED = [
    # (what, answers, gone)
    ("unmapped, off the client list, its frame destroyed", closing(info("0x400030", "0x100", False), GONE, ""),
     True),
    ("destroyed with its frame", closing(GONE, GONE, ""), True),
    ("unmapped, its frame still shown", closing(info("0x400030", "0x200261", False), info("0x200261", "0x100"), ""),
     False),
    ("unmapped, its frame unmapped, still a client", closing(info("0x400030", "0x200261", False),
                                                            info("0x200261", "0x100", False), "0x400030"), False),
]


# A window manager that announces itself on the root window and never reads
# its events: openbox while it still starts.
SILENT_WM = r'''#!/usr/bin/python3
import ctypes, time
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
dpy = x11.XOpenDisplay(None)
root = x11.XDefaultRootWindow(dpy)
check = ctypes.c_ulong(root)
x11.XChangeProperty(dpy, root, x11.XInternAtom(dpy, b"_NET_SUPPORTING_WM_CHECK", 0), 33, 32, 0,
                    ctypes.byref(check), 1)  # 33: WINDOW
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XFlush(dpy)
time.sleep(600)
'''


def silent_wm_is_not_started(check):
    xvfb, display = x.start_x()
    folder = os.path.join(x.RUN_DIR, "wm")
    os.makedirs(folder)
    with open(os.path.join(folder, "openbox"), "w") as f:
        f.write(SILENT_WM)
    os.chmod(os.path.join(folder, "openbox"), stat.S_IRWXU)
    path = os.environ["PATH"]
    os.environ["PATH"] = folder + os.pathsep + path
    try:
        wm = x.start_wm(display, timeout=3)
        wm.kill()
        wm.wait()
        check(False, "a window manager that announces itself and does not answer is not taken for started")
    except RuntimeError as e:
        check("did not answer" in str(e), "a window manager that announces itself and does not answer is not "
              "taken for started: " + str(e))
    finally:
        os.environ["PATH"] = path
        x.stop_x(xvfb)


def missing_wm_is_named(check):
    path = os.environ["PATH"]
    os.environ["PATH"] = x.RUN_DIR
    try:
        x.start_wm(":0", timeout=3)
        check(False, "a missing window manager is named")
    except SystemExit as e:
        check(str(e).startswith("openbox is needed"), "a missing window manager is named: %s" % e)
    finally:
        os.environ["PATH"] = path


def servers_of_their_own(check):
    """Servers started at once by tests running beside each other: each on a
    display of its own, each keeping its state when its last client leaves.
    A server that resets then closes every connection still being made, and
    a program starting at that moment ends with "could not connect to
    display"; a client that sets a root window property and ends is such a
    last client."""
    servers, errors = [], []

    def start():
        try:
            servers.append(x.start_x())
        except RuntimeError as e:
            errors.append(str(e))
    threads = [threading.Thread(target=start) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    try:
        check(not errors, "servers started at once all start: " + "; ".join(errors))
        displays = [display for _, display in servers]
        check(len(set(displays)) == len(displays), "servers started at once are on displays of their own: %s"
              % ", ".join(displays))
        for _, display in servers:
            env = dict(os.environ, DISPLAY=display)
            x.x_answer(env, ["xprop", "-root", "-f", "SEVRIN_MARK", "8s", "-set", "SEVRIN_MARK", display])
            kept = x.x_answer(env, ["xprop", "-root", "SEVRIN_MARK"])
            check('"%s"' % display in kept, "the server on %s keeps its state when its last client leaves: %s"
                  % (display, kept.strip()))
    finally:
        for xvfb, _ in servers:
            x.stop_x(xvfb)
    for xvfb, display in servers:
        x.wait_until(lambda: not left_behind(display, xvfb.pid), timeout=10)
        left = left_behind(display, xvfb.pid)
        check(not left, "a stopped server on %s leaves nothing behind: %s" % (display, ", ".join(left)))


def left_behind(display, pid):
    """What an ended X server of process pid on display left in /tmp: its
    lock file (the one naming pid) and a socket no server listens on (a
    server started since may have taken the display)."""
    number = display.lstrip(":")
    left = []
    try:
        with open("/tmp/.X%s-lock" % number) as f:
            if int(f.read().strip() or 0) == pid:
                left.append(f.name)
    except FileNotFoundError:
        pass
    path = "/tmp/.X11-unix/X" + number
    if os.path.exists(path):
        with socket.socket(socket.AF_UNIX) as s:
            try:
                s.connect(path)
            except ConnectionRefusedError:
                left.append(path)
    return left


def main():
    check = x.Checks()
    servers_of_their_own(check)
    for what, answers, windows in LOOKUP:
        check(x.process_windows(stand_ins(answers), 7) == windows, "the windows of a process: " + what)
    for what, answers, known, window in NEW:
        check(x.new_window(stand_ins(answers), 7, known, timeout=1) == window, "the new window: " + what)
    for what, answers, gone in CLOSED:
        check(x.wait_closed(stand_ins(answers), "0x400030", lambda: None, timeout=1) == gone,
              "a closed window is gone: " + what)
    silent_wm_is_not_started(check)
    missing_wm_is_named(check)
    x.X_TRIES = 3
    try:
        x.process_windows(stand_ins(search([1, "", BAD])), 7)
        check(False, "an X error that stays is an error")
    except x.XToolError as e:
        check("BadWindow" in str(e), "an X error that stays is an error: " + str(e).splitlines()[0])
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
