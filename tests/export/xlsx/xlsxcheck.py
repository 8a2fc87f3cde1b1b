"""Independent reading of a workbook written by the program.
Prints one JSON object: the package checks (xmllint on every XML part,
relationship targets, content types) and what openpyxl reads back."""
import json
import posixpath
import re
import subprocess
import sys
import xml.etree.ElementTree as ET
import zipfile

import openpyxl

CT_NS = "{http://schemas.openxmlformats.org/package/2006/content-types}"
REL_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def unescape_xstring(text):
    """Decode the _xHHHH_ escapes of cell texts (openpyxl leaves them)."""
    if text is None:
        return None
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def package_checks(path):
    problems = []
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        if z.testzip() is not None:
            problems.append("bad entry data")
        types = ET.fromstring(z.read("[Content_Types].xml"))
        defaults = {d.get("Extension") for d in types.iter(CT_NS + "Default")}
        overrides = {o.get("PartName") for o in types.iter(CT_NS + "Override")}
        for name in names:
            data = z.read(name)
            ext = name.rsplit(".", 1)[-1]
            if "/" + name not in overrides and ext not in defaults:
                problems.append("no content type: " + name)
            if ext in ("xml", "rels"):
                lint = subprocess.run(["xmllint", "--noout", "-"], input=data, capture_output=True)
                if lint.returncode != 0:
                    problems.append("xmllint %s: %s" % (name, lint.stderr.decode(errors="replace")[:300]))
            if name.endswith(".rels"):
                folder = posixpath.dirname(posixpath.dirname(name))
                for rel in ET.fromstring(data).iter(REL_NS + "Relationship"):
                    target = posixpath.normpath(posixpath.join(folder, rel.get("Target")))
                    if target not in names:
                        problems.append("missing target %s from %s" % (target, name))
        for part in overrides:
            if part.lstrip("/") not in names:
                problems.append("content type for a missing part: " + part)
    return names, problems


def main(path):
    names, problems = package_checks(path)
    wb = openpyxl.load_workbook(path)
    sheets = []
    for ws in wb.worksheets:
        cells = {}
        for row in ws.iter_rows():
            for c in row:
                if c.value is not None:
                    cells[c.coordinate] = unescape_xstring(str(c.value))
        a1 = ws["A1"]
        widths = {k: v.width for k, v in ws.column_dimensions.items() if v.width}
        sheets.append({
            "title": ws.title,
            "cells": cells,
            "merged": sorted(str(r) for r in ws.merged_cells.ranges),
            "a1": {"bold": bool(a1.font.b), "horizontal": a1.alignment.horizontal},
            "b2": {"bold": bool(ws["B2"].font.b), "horizontal": ws["B2"].alignment.horizontal},
            "widths": widths,
            "images": len(ws._images),
            "maxRow": ws.max_row,
        })
    # A streaming reader trusts each sheet's declared dimension.
    fast = openpyxl.load_workbook(path, read_only=True)
    for info, ws in zip(sheets, fast.worksheets):
        info["readOnlyCells"] = sum(1 for row in ws.iter_rows() for c in row if c.value is not None)
        info["dimension"] = ws.calculate_dimension()
    print(json.dumps({"entries": names, "problems": problems, "sheets": sheets,
                      "creator": wb.properties.creator}))


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except Exception as e:
        print(json.dumps({"error": repr(e)}))
