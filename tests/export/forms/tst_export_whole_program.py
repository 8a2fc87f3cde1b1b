#!/usr/bin/python3
"""The export panel in the real program under a virtual X server: three lines
measured on the simulated camera's picture are exported to Excel with an
automatic name, with a manual name, with a cancelled save dialog (which
leaves the workbook waiting under a hidden name of its own), and to Word; LibreOffice reads every workbook back with
every value and the picture, and opens the Word report. What the program
hands to the desktop to open is caught by a stand-in xdg-open.

Without and with a window manager: a report saved over a locked file, the
replacement agreed to, fails, and so does a template added in a locked folder
from the template editor; the failure box shows above the program, and the
program's windows stay above its main window, also when the window manager
brings the main window forward while the box is open (a task switcher does);
the locked file and folder keep their contents."""
import glob
import os
import re
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app"))
import tst_whole_program as w  # noqa: E402
import sevrin_x as x  # noqa: E402

TAB_SET = (29, 359)
# The export panel lies below the snapshot, time-lapse and video panels.
MANUAL = (400, 799)
EXPORT_WORD = (186, 957)
EXPORT_EXCEL = (426, 957)
BOX_GREY = (239, 239, 239)  # a message box's background
SET_PANEL = (300, 340)  # a bare spot of the settings panel: grey where the interface shows
EXCEL_EDIT = (516, 928)
ADD_TEMPLATE = (45, 16)  # in the template editor
EDITOR_GRID = (1000, 900)  # a cell of the template editor's grid


def libreoffice_csv(path, profile, infilter=None):
    """The sheet at path as LibreOffice converts it to CSV. LibreOffice runs
    with a home of its own inside profile (it writes its settings store and
    runtime files there, never in the test's home); a conversion that makes
    no file is an error that names LibreOffice's output."""
    out = tempfile.mkdtemp(prefix="sevrin-lo-")
    cmd = ["soffice", "-env:UserInstallation=file://" + os.path.join(profile, "user"), "--headless"]
    if infilter:
        cmd.append("--infilter=" + infilter)
    cmd += ["--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true", "--outdir", out, path]
    env = x.private_env(os.path.join(profile, "home"), "")
    env.pop("DISPLAY")
    result = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=180)
    found = glob.glob(os.path.join(out, "*.csv"))
    if not found:
        raise RuntimeError("LibreOffice converted nothing of %s (exit code %d): %s" % (
            path, result.returncode, (result.stdout + result.stderr).strip()))
    return open(found[0], encoding="utf-8").read()


def wait_files(pattern, count, timeout=20.0):
    w.wait_until(lambda: len(glob.glob(pattern)) >= count, timeout=timeout)
    return sorted(glob.glob(pattern))


def opened(p):
    path = os.path.join(p.dir, "opened.txt")
    return open(path).read().split() if os.path.exists(path) else []


def save_dialog(p, name):
    """Answers the save dialog: a file name, or None to cancel. The dialog's id."""
    wid = p.wait_window("保存文件")
    if name is None:
        # Its Cancel button lies at the lower right corner.
        left, top, width, height = x.xdotool_geometry(p.env, wid)
        p.click((left + width - 55, top + height - 24))
        return wid
    p.key("ctrl+a")
    p.type(name)
    p.key("Return")
    return wid


def lock(path):
    """Makes path (a file, or a folder nothing may be added to) impossible to
    change; a function that unlocks it again, or None when it cannot. root
    passes any permission check: path is made immutable instead (where its
    file system allows)."""
    if os.geteuid() == 0:
        if subprocess.run(["chattr", "+i", path], stderr=subprocess.DEVNULL).returncode != 0:
            return None
        return lambda: subprocess.run(["chattr", "-i", path])
    folder = path if os.path.isdir(path) else os.path.dirname(path)
    os.chmod(folder, 0o555)
    return lambda: os.chmod(folder, 0o755)


def box_on_top(img, rect):
    """True when the message box's own background fills most of rect: nothing
    covers it."""
    left, top, width, height = rect
    px = list(img.crop((left, top, left + width, top + height)).getdata())
    return len(px) > 0 and sum(1 for c in px if c == BOX_GREY) > 0.5 * len(px)


def interface_shown(img):
    return img.getpixel(SET_PANEL) == x.PANEL_GREY


def editor_shown(img):
    return img.getpixel(EDITOR_GRID) == (255, 255, 255)


def failure_box(p, main, program_shown, label, forward=True):
    """Checks the failure box that has come: above the program (program_shown
    tells from a screenshot that its windows are above the main window), with
    forward also once a task switcher has brought the main window forward;
    then closes it with Return."""
    box = x.wait_until(lambda: p.window("^Error$"), timeout=20)
    w.check(box is not None, "the failed write shows a box, " + label)
    if not box:
        return
    rect = x.window_rect(p.env, box)
    shown = p.wait_for("failure_box", lambda img: program_shown(img) and box_on_top(img, rect), timeout=10)
    w.check(box_on_top(shown, rect), "the box shows above the program, " + label)
    w.check(program_shown(shown), "the program stays above its main window, " + label)
    if forward and "with a" in label:
        # --sync: back once the window manager has made it the active window
        # (raised); the program then brings its own windows above it.
        subprocess.run(["xdotool", "windowactivate", "--sync", main], env=p.env, timeout=30)
        shown = p.wait_for("main_forward", lambda img: program_shown(img) and box_on_top(img, rect), timeout=30)
        w.check(program_shown(shown), "the program comes above the main window brought forward, " + label)
        w.check(box_on_top(shown, rect), "and the box stays above it, " + label)
    subprocess.run(["xdotool", "windowfocus", "--sync", box], env=p.env)
    p.key("Return")
    w.check(x.wait_until(lambda: not p.window("^Error$"), timeout=10), "Return closes the box, " + label)
    after = p.wait_for("box_closed", program_shown, timeout=10)
    w.check(program_shown(after), "the program is shown after the box, " + label)


def to_export_panel(p):
    """Opens the camera and the export panel; the main window's id."""
    p.click(w.OPEN_BUTTON, until=lambda img: w.coloured_share(img, w.VIEW) > 0.05, timeout=30)
    show_settings(p)
    return p.window("Varnel")


def show_settings(p):
    """Opens the settings panel; once it is drawn, its buttons take clicks."""
    p.click(TAB_SET, changes=x.PANELS, timeout=30)


def run_locked(display, label, make, steps):
    """Starts the program, has make(folder) create the file or folder to lock
    in its folder, locks it and runs steps(program, path); unlocks it again."""
    # Without a window manager under the C locale: its windows are found by
    # their Chinese titles all the same.
    p = x.Program(display, "4", "", extra_env={"LC_ALL": "C"} if label.startswith("without") else None)
    path = make(p.dir)
    unlock = lock(path)
    if not unlock:
        print("the file system cannot lock %s: skipped, %s" % (path, label))
        p.stop()
        return
    try:
        steps(p, path)
        w.check(p.proc.poll() is None, "the program is still running, " + label)
    finally:
        unlock()
    w.check(p.stop() == 0, "the program ends with exit code 0, " + label)


def older_report(folder):
    target = os.path.join(folder, "locked", "report.doc")
    os.makedirs(os.path.dirname(target))
    with open(target, "w") as f:
        f.write("older report")
    return target


def locked_report(display, label):
    def steps(p, target):
        main = to_export_panel(p)
        p.click(MANUAL)
        p.click(EXPORT_WORD)
        dialog = save_dialog(p, target)
        # The file dialog asks whether to replace the file: a second window of
        # its title, which takes the keyboard.
        asked = x.wait_until(lambda: x.focused_window(p.env) in titled(p, "保存文件") - {dialog}, timeout=20)
        w.check(asked, "the save dialog asks before replacing the file, " + label)
        p.key("alt+y")
        failure_box(p, main, interface_shown, "report, " + label)
        w.check(open(target).read() == "older report", "the locked file keeps its contents, " + label)

    run_locked(display, label, older_report, steps)


def template_folder(folder):
    path = os.path.join(folder, "Template")
    os.makedirs(path)
    return path


def locked_template(display, label):
    """The workbook template editor (a window of its own over the whole
    screen) cannot add a template to a locked folder."""
    def steps(p, folder):
        main = to_export_panel(p)
        known = x.process_windows(p.env, p.proc.pid)
        p.click(EXCEL_EDIT)
        editor = x.new_window(p.env, p.proc.pid, known, timeout=20)
        w.check(bool(editor), "the template editor opens, " + label)
        if editor:
            left, top, _, _ = x.window_rect(p.env, editor)
            p.wait_for("editor", editor_shown, timeout=10)
            p.click((left + ADD_TEMPLATE[0], top + ADD_TEMPLATE[1]))
            failure_box(p, main, editor_shown, "template editor, " + label, forward=False)
            # Escape goes to the editor once it has the keyboard back.
            w.check(x.wait_focus(p.env, editor), "the editor has the keyboard back, " + label)
            p.key("Escape")
            w.check(interface_shown(p.wait_for("editor_closed", interface_shown, timeout=10)),
                    "Escape closes the editor over the interface, " + label)
        w.check(os.listdir(folder) == [], "nothing is written into the locked folder, " + label)

    run_locked(display, label, template_folder, steps)


def titled(p, title):
    return x.titled_windows(p.env, title)


def check_workbook(path, profile, what):
    with zipfile.ZipFile(path) as z:
        w.check(any(n.startswith("xl/media/image1.jpg") for n in z.namelist()), what + ": the picture is in the workbook")
    csv = libreoffice_csv(path, profile)
    for i in (1, 2, 3):
        w.check('"直线%d","' % i in csv, what + ": LibreOffice reads the row of line %d" % i)
    w.check('"mm"' in csv and "图 像 测 量 信 息" in csv, what + ": title and unit are read")


def main():
    x.without_and_with_window_manager(locked_report)
    x.without_and_with_window_manager(locked_template)
    if not subprocess.run(["which", "soffice"], stdout=subprocess.DEVNULL).returncode == 0:
        print("LibreOffice is not installed: the workbooks are not read back")
        print("%d passed, %d failed" % (w.checks[0] - len(w.failures), len(w.failures)))
        return 1 if w.failures else 0
    fake = tempfile.mkdtemp(prefix="sevrin-open-")
    with open(os.path.join(fake, "xdg-open"), "w") as f:
        f.write('#!/bin/sh\necho "$1" >> "$SEVRIN_APP_DIR/opened.txt"\n')
    os.chmod(os.path.join(fake, "xdg-open"), 0o755)
    os.environ["PATH"] = fake + ":" + os.environ["PATH"]
    profile = tempfile.mkdtemp(prefix="sevrin-lo-profile-")
    xvfb, display = w.start_x()
    try:
        p = w.Program(display, "4", "")
        folder = os.path.join(p.dir, "Export", "File")
        p.click(w.OPEN_BUTTON, until=lambda img: w.coloured_share(img, w.VIEW) > 0.05, timeout=30)
        p.click(w.TAB_MEASURE)  # the measurement panels are made at the first visit
        for i in range(3):
            w.measure_with_tool(p, w.LINE_TOOL, [(760, 310 + 80 * i), (1110, 330 + 80 * i)],
                                (750, 300 + 80 * i, 1120, 340 + 80 * i), least=100)
        show_settings(p)
        p.shot("export_panel")

        # Automatic name: written, then opened.
        p.click(EXPORT_EXCEL)
        books = wait_files(os.path.join(folder, "*.xlsx"), 1)
        w.check(len(books) == 1, "Export Excel writes one time-stamped workbook")
        w.wait_until(lambda: opened(p), timeout=10)
        w.check(len(books) == 1 and opened(p) == ["file://" + books[0]], "the workbook is opened")
        if books:
            check_workbook(books[0], profile, "automatic name")

        # Manual name: the save dialog names the file.
        p.click(MANUAL)
        chosen = os.path.join(p.dir, "chosen.xlsx")
        p.click(EXPORT_EXCEL)
        save_dialog(p, chosen)
        wait_files(chosen, 1)
        w.check(os.path.exists(chosen), "a manual name saves the workbook under it")
        w.check(not glob.glob(os.path.join(folder, ".*")) and not os.path.exists(os.path.join(folder, "~temp.xlsx")),
                "nothing is left under a temporary name")
        if os.path.exists(chosen):
            check_workbook(chosen, profile, "manual name")

        # Cancelled: the workbook waits, whole, under a hidden name of its own.
        w.wait_until(lambda: not p.window("保存文件"), timeout=10)
        p.click(EXPORT_EXCEL)
        save_dialog(p, None)
        temp = wait_files(os.path.join(folder, ".*"), 1)
        w.check(len(temp) == 1 and zipfile.is_zipfile(temp[0]),
                "a cancelled save leaves the whole workbook hidden in the export folder")
        w.check(not os.path.exists(os.path.join(folder, "~temp.xlsx")), "no workbook takes a fixed name")

        # Word, still with manual naming.
        w.wait_until(lambda: not p.window("保存文件"), timeout=10)
        p.click(EXPORT_WORD)
        doc = os.path.join(p.dir, "report.doc")
        save_dialog(p, doc)
        wait_files(doc, 1)
        w.check(os.path.exists(doc), "Export Word writes the report")
        if os.path.exists(doc):
            text = open(doc, encoding="utf-8").read()
            w.check("charset=utf-8" in text and "直线3" in text, "the report is UTF-8 and holds the rows")
            csv = libreoffice_csv(doc, profile, "calc_HTML_WebQuery")
            w.check(re.search(r'"直线2","?\d+\.\d\d', csv) is not None, "LibreOffice opens the Word report")
        p.shot("export_done")
        w.check(p.stop() == 0, "the program ends with exit code 0")
    finally:
        xvfb.terminate()
        xvfb.wait()
    print("%d passed, %d failed" % (w.checks[0] - len(w.failures), len(w.failures)))
    return 1 if w.failures else 0


if __name__ == "__main__":
    sys.exit(main())
