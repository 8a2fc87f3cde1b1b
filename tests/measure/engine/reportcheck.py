"""Independent reading of a report workbook written by the overlay.
Prints one JSON object: the package checks of the workbook tests (xmllint,
relationships, content types) and what openpyxl reads back: every text cell,
the merged ranges, the picture anchors, the bold cells and the count of
cells by horizontal alignment."""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.environ.get("SEVRIN_SOURCE_DIR", "."), "tests", "export", "xlsx"))
import openpyxl  # noqa: E402
from xlsxcheck import package_checks, unescape_xstring  # noqa: E402


def main(path):
    _, problems = package_checks(path)
    wb = openpyxl.load_workbook(path)
    ws = wb.worksheets[0]
    cells = {}
    bold = []
    aligned = {}
    formulas = 0
    for row in ws.iter_rows():
        for c in row:
            formulas += c.data_type == "f"
            if c.value is not None:
                cells[c.coordinate] = unescape_xstring(str(c.value))
            if c.font is not None and c.font.b:
                bold.append(c.coordinate)
            h = c.alignment.horizontal if c.alignment is not None else None
            if h:
                aligned[h] = aligned.get(h, 0) + 1
    images = []
    for img in ws._images:
        a = img.anchor
        images.append({"from": [a._from.col, a._from.row], "to": [a.to.col, a.to.row]})
    widths = [[v.min, v.max, v.width] for v in ws.column_dimensions.values() if v.width]
    print(json.dumps({
        "problems": problems,
        "title": ws.title,
        "creator": wb.properties.creator,
        "cells": cells,
        "merged": sorted(str(r) for r in ws.merged_cells.ranges),
        "images": images,
        "bold": bold,
        "aligned": aligned,
        "maxRow": ws.max_row,
        "maxColumn": ws.max_column,
        "widths": widths,
        "formulas": formulas,
    }, ensure_ascii=False))


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except Exception as e:  # reported to the test, which fails on it
        print(json.dumps({"error": repr(e)}))
