#!/usr/bin/python3
"""Lists the .xls workbooks below a folder that contain a text, with xlrd, in one process.

xlrd only reads, so list-only is its whole job: every text cell of every sheet is searched
case-insensitively, numbers as xlrd gives them. Formulas are not searched (xlrd does not
decompile cell formulas), so this peer does a little less work than the server.
Prints one JSON line with the counts and wall time.
"""
import json
import os
import sys
import time

import xlrd


def workbooks(folder):
    for root, dirs, files in os.walk(folder):
        dirs.sort(key=str.lower)
        for name in sorted(files, key=str.lower):
            if name.lower().endswith(".xls"):
                yield os.path.join(root, name)


def main():
    folder, find = sys.argv[1], sys.argv[2].casefold()
    stats = {"peer": "xlrd", "workbooks": 0, "opened": 0, "matched": 0, "unopenable": 0}
    start = time.monotonic()
    for path in workbooks(folder):
        stats["workbooks"] += 1
        try:
            book = xlrd.open_workbook(path, on_demand=True)
        except Exception:
            stats["unopenable"] += 1
            continue
        stats["opened"] += 1
        found = False
        try:
            for index in range(book.nsheets):
                sheet = book.sheet_by_index(index)
                for r in range(sheet.nrows):
                    for value in sheet.row_values(r):
                        if find in str(value).casefold():
                            found = True
                            break
                    if found:
                        break
                book.unload_sheet(index)
                if found:
                    break
        except Exception:
            stats["unopenable"] += 1
            continue
        stats["matched"] += found
    stats["seconds"] = round(time.monotonic() - start, 3)
    print(json.dumps(stats))


if __name__ == "__main__":
    main()
