#!/usr/bin/python3
"""Find and replace over every .xlsx/.xlsm below a folder with openpyxl, in one process.

The peer does the same job as the server's replace run: every text cell and formula of every
worksheet is searched case-insensitively; a workbook is saved only when something changed.
Number cells are not searched (openpyxl would have to format them first), and openpyxl reads
rich text as plain text, so this peer does a little less work than the server. Prints one JSON line with the counts and wall time.
"""
import json
import os
import re
import sys
import time

import openpyxl


def workbooks(folder):
    for root, dirs, files in os.walk(folder):
        dirs.sort(key=str.lower)
        for name in sorted(files, key=str.lower):
            path = os.path.join(root, name)
            if name.lower().endswith((".xlsx", ".xlsm")) and "~$" not in path:
                yield path


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: openpyxl_replace.py FOLDER FIND REPLACE")
    folder, find, replacement = sys.argv[1:]
    pattern = re.compile(re.escape(find), re.IGNORECASE)
    replacement = replacement.replace("\\", "\\\\")
    stats = {"peer": "openpyxl", "workbooks": 0, "opened": 0, "matched": 0, "saved": 0,
             "unopenable": 0}
    start = time.monotonic()
    verbose = bool(os.environ.get("BENCH_VERBOSE"))
    for path in workbooks(folder):
        stats["workbooks"] += 1
        if verbose:
            print(path, file=sys.stderr, flush=True)
        try:
            wb = openpyxl.load_workbook(path, keep_vba=path.lower().endswith(".xlsm"))
        except Exception:
            stats["unopenable"] += 1
            continue
        stats["opened"] += 1
        changed = False
        for ws in wb.worksheets:
            for row in ws.iter_rows():
                for cell in row:
                    value = cell.value
                    if not isinstance(value, str) or not pattern.search(value):
                        continue
                    cell.value = pattern.sub(replacement, value)
                    changed = True
        if changed:
            stats["matched"] += 1
            try:
                wb.save(path)
                stats["saved"] += 1
            except Exception:
                pass
        wb.close()
    stats["seconds"] = round(time.monotonic() - start, 3)
    print(json.dumps(stats))


if __name__ == "__main__":
    main()
