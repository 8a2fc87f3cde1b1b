#!/usr/bin/python3
"""The report template editors in the real program under a virtual X server,
without and with a window manager: Escape closes the Word template editor
(a window of its own, not modal) and the workbook template editor; each fits
into the screen's available area; a template added in the workbook editor
closed with Escape is offered by the export panel's template list at once."""
import configparser
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import sevrin_x as x  # noqa: E402

OPEN_BUTTON = (531, 54)
VIEW = (600, 200, 1890, 790)
TAB_SET = (29, 359)
WORD_EDIT = (516, 905)
EXCEL_EDIT = (516, 928)
EXCEL_COMBO = (312, 928)
ADD_TEMPLATE = (45, 16)  # in the template editor
SCREEN = (1920, 1080)


def listed(folder):
    """The workbook templates' list file, as an INI reader sees it."""
    ini = configparser.ConfigParser()
    ini.read(os.path.join(folder, "Template", "List.ini"), encoding="utf-8")
    return ini["General"] if "General" in ini else {}


def open_editor(p, check, button, what):
    """Opens an editor with button; its window id once it has the keyboard, or None."""
    known = x.process_windows(p.env, p.proc.pid)
    p.click(button)
    editor = x.new_window(p.env, p.proc.pid, known, timeout=30)
    check(bool(editor), what + " opens")
    if not editor:
        return None
    check(x.wait_focus(p.env, editor), what + " has the keyboard")
    return editor


def inside_screen(p, editor):
    left, top, width, height = x.window_rect(p.env, editor)
    return left >= 0 and top >= 0 and left + width <= SCREEN[0] and top + height <= SCREEN[1]


def escape_closes(p, check, editor, what):
    # Gone once the window manager has let go of it too: the next click must
    # not land on the frame a slow window manager still shows.
    gone = x.wait_closed(p.env, editor, lambda: p.key("Escape"), timeout=20)
    check(gone, "Escape closes " + what)
    return gone


def run(display, label):
    check = CHECKS
    p = x.Program(display, "4", "")
    try:
        # The settings panel shows once a camera is open.
        p.click(OPEN_BUTTON, until=lambda img: x.coloured_share(img, VIEW) > 0.05, timeout=30)
        p.click(TAB_SET, changes=x.PANELS, timeout=30)
        word = open_editor(p, check, WORD_EDIT, "the Word template editor, " + label)
        if word:
            check(inside_screen(p, word), "the Word template editor fits the screen, " + label)
            escape_closes(p, check, word, "the Word template editor, " + label)

        excel = open_editor(p, check, EXCEL_EDIT, "the workbook template editor, " + label)
        if excel:
            check(inside_screen(p, excel), "the workbook template editor fits the screen, " + label)
            left, top, _, _ = x.window_rect(p.env, excel)
            p.click((left + ADD_TEMPLATE[0], top + ADD_TEMPLATE[1]))
            added = x.wait_until(lambda: "template_1" in listed(p.dir).get("strList", ""), timeout=20)
            check(added, "a template is added, " + label)
            check(x.wait_focus(p.env, excel), "the workbook template editor keeps the keyboard, " + label)
            if escape_closes(p, check, excel, "the workbook template editor, " + label):
                # The panel's list, opened, offers the new template last.
                p.click(EXCEL_COMBO)
                p.key("End", "Return")
                chosen = x.wait_until(lambda: listed(p.dir).get("curKey") == "template_1", timeout=20)
                check(chosen, "the export panel offers the new template, " + label)
        check(p.proc.poll() is None, "the program is still running, " + label)
    finally:
        check(p.stop() == 0, "the program ends with exit code 0, " + label)


CHECKS = x.Checks()


def main():
    x.without_and_with_window_manager(run)
    return CHECKS.summary()


if __name__ == "__main__":
    sys.exit(main())
