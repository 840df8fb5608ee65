#!/usr/bin/python3
"""Find and replace over the .xls workbooks below a folder the way a user's script does it:
read each with xlrd and, when a text cell contains the text (case ignored), write the workbook
anew with xlwt, every cell's value copied and the matching texts replaced, saved durably over
the original (a temporary beside it, flushed, renamed).

This route LOSES what xlrd does not give back to xlwt: cell formats and fonts, column widths,
formulas (their cached results are written as values), headers, charts, pictures, macros and
every other stream. It is the cheapest honest peer for .xls, not an equivalent one.
Prints one JSON line with the counts and wall time.

    xlrd_xlwt_replace.py FOLDER FIND REPLACE
"""
import json
import os
import re
import sys
import time

import xlrd
import xlwt


def workbooks(folder):
    for root, dirs, files in os.walk(folder):
        dirs.sort(key=str.lower)
        for name in sorted(files, key=str.lower):
            if name.lower().endswith(".xls"):
                yield os.path.join(root, name)


def save_durably(book, path):
    temporary = os.path.join(os.path.dirname(path), ".~bench-" + os.path.basename(path))
    book.save(temporary)
    with open(temporary, "rb+") as f:
        os.fsync(f.fileno())
    os.replace(temporary, path)


def main():
    folder, find, replace = sys.argv[1], sys.argv[2], sys.argv[3]
    pattern = re.compile(re.escape(find), re.IGNORECASE)
    stats = {"peer": "xlrd+xlwt", "workbooks": 0, "opened": 0, "matched": 0, "unopenable": 0,
             "saved": 0}
    start = time.monotonic()
    for path in workbooks(folder):
        stats["workbooks"] += 1
        try:
            book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"))
        except Exception:
            stats["unopenable"] += 1
            continue
        stats["opened"] += 1
        found = any(pattern.search(value)
                    for sheet in book.sheets()
                    for r in range(sheet.nrows)
                    for value in sheet.row_values(r) if isinstance(value, str))
        if not found:
            continue
        stats["matched"] += 1
        try:
            out = xlwt.Workbook(encoding="utf-8")
            for sheet in book.sheets():
                target = out.add_sheet(sheet.name, cell_overwrite_ok=True)
                for r in range(sheet.nrows):
                    for c, cell in enumerate(sheet.row(r)):
                        if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                            continue
                        value = cell.value
                        if cell.ctype == xlrd.XL_CELL_TEXT:
                            value = pattern.sub(replace, value)
                        elif cell.ctype == xlrd.XL_CELL_ERROR:
                            value = xlrd.error_text_from_code.get(value, "#N/A")
                        elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                            value = bool(value)
                        target.write(r, c, value)
            save_durably(out, path)
            stats["saved"] += 1
        except Exception:
            stats["unopenable"] += 1
    stats["seconds"] = round(time.monotonic() - start, 3)
    print(json.dumps(stats))


if __name__ == "__main__":
    main()
