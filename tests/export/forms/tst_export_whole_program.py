#!/usr/bin/python3
"""The export panel in the real program under a virtual X server: three lines
measured on the simulated camera's picture are exported to Excel with an
automatic name, with a manual name, with a cancelled save dialog (which
leaves "~temp.xlsx"), and to Word; LibreOffice reads every workbook back with
every value and the picture, and opens the Word report. What the program
hands to the desktop to open is caught by a stand-in xdg-open."""
import glob
import os
import re
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app"))
import tst_whole_program as w  # noqa: E402

TAB_SET = (29, 359)
# The export panel lies below the snapshot, time-lapse and video panels.
MANUAL = (400, 799)
EXPORT_WORD = (186, 957)
EXPORT_EXCEL = (426, 957)


def libreoffice_csv(path, profile, infilter=None):
    out = tempfile.mkdtemp(prefix="sevrin-lo-")
    cmd = ["soffice", "-env:UserInstallation=file://" + profile, "--headless"]
    if infilter:
        cmd.append("--infilter=" + infilter)
    cmd += ["--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true", "--outdir", out, path]
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
    found = glob.glob(os.path.join(out, "*.csv"))
    return open(found[0], encoding="utf-8").read() if found else ""


def wait_files(pattern, count, timeout=20.0):
    w.wait_until(lambda: len(glob.glob(pattern)) >= count, timeout=timeout)
    return sorted(glob.glob(pattern))


def opened(p):
    path = os.path.join(p.dir, "opened.txt")
    return open(path).read().split() if os.path.exists(path) else []


def save_dialog(p, name):
    """Answers the save dialog: a file name, or None to cancel."""
    p.wait_window("保存文件")
    if name is None:
        # Its Cancel button lies at the lower right corner.
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "保存文件", "getwindowgeometry",
                              "--shell"], env=p.env, capture_output=True, text=True).stdout
        g = dict(line.split("=", 1) for line in out.split() if "=" in line)
        x, y, width, height = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        p.click((x + width - 55, y + height - 24))
        return
    p.key("ctrl+a")
    p.type(name)
    p.key("Return")


def check_workbook(path, profile, what):
    with zipfile.ZipFile(path) as z:
        w.check(any(n.startswith("xl/media/image1.jpg") for n in z.namelist()), what + ": the picture is in the workbook")
    csv = libreoffice_csv(path, profile)
    for i in (1, 2, 3):
        w.check('"直线%d","' % i in csv, what + ": LibreOffice reads the row of line %d" % i)
    w.check('"mm"' in csv and "图 像 测 量 信 息" in csv, what + ": title and unit are read")


def main():
    if not subprocess.run(["which", "soffice"], stdout=subprocess.DEVNULL).returncode == 0:
        print("LibreOffice is not installed: skipped")
        return 0
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
            # Made again if the panels dropped the tool meanwhile.
            w.measure_with_tool(p, w.LINE_TOOL, [(760, 310 + 80 * i), (1110, 330 + 80 * i)],
                                (750, 300 + 80 * i, 1120, 340 + 80 * i), least=100)
        p.click(TAB_SET)
        p.shot("export_panel")

        # Automatic name: written, then opened.
        p.click(EXPORT_EXCEL, wait=1.0)
        books = wait_files(os.path.join(folder, "*.xlsx"), 1)
        w.check(len(books) == 1, "Export Excel writes one time-stamped workbook")
        w.wait_until(lambda: opened(p), timeout=10)
        w.check(len(books) == 1 and opened(p) == ["file://" + books[0]], "the workbook is opened")
        if books:
            check_workbook(books[0], profile, "automatic name")

        # Manual name: the save dialog names the file.
        p.click(MANUAL)
        chosen = os.path.join(p.dir, "chosen.xlsx")
        p.click(EXPORT_EXCEL, wait=0.3)
        save_dialog(p, chosen)
        wait_files(chosen, 1)
        w.check(os.path.exists(chosen), "a manual name saves the workbook under it")
        w.check(not os.path.exists(os.path.join(folder, "~temp.xlsx")), "nothing is left under the temporary name")
        if os.path.exists(chosen):
            check_workbook(chosen, profile, "manual name")

        # Cancelled: the workbook stays as ~temp.xlsx.
        w.wait_until(lambda: not p.window("保存文件"), timeout=10)
        p.click(EXPORT_EXCEL, wait=0.3)
        save_dialog(p, None)
        temp = wait_files(os.path.join(folder, "~temp.xlsx"), 1)
        w.check(len(temp) == 1, "a cancelled save leaves ~temp.xlsx in the export folder")

        # Word, still with manual naming.
        w.wait_until(lambda: not p.window("保存文件"), timeout=10)
        p.click(EXPORT_WORD, wait=0.3)
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
