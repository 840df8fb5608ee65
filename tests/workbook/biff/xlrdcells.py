"""Cells of .xls workbooks as xlrd reads them, for comparison with the server's reader.

Usage: xlrdcells.py OUT.json FILE...   Writes {file: {"error": text} or {"sheets": [...]}}
with every text, number, boolean and error cell of every sheet xlrd lists.
"""
import json
import sys

import xlrd

KINDS = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number",
         xlrd.XL_CELL_DATE: "number", xlrd.XL_CELL_BOOLEAN: "boolean",
         xlrd.XL_CELL_ERROR: "error"}


def cells(path):
    book = xlrd.open_workbook(path, on_demand=False, ragged_rows=True)
    if book.biff_version < 80:
        return {"error": "BIFF%d" % (book.biff_version // 10)}
    sheets = []
    for sheet in book.sheets():
        found = []
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                kind = KINDS.get(cell.ctype)
                if kind:
                    found.append([r, c, kind, cell.value])
        sheets.append({"name": sheet.name, "cells": found})
    return {"sheets": sheets}


def main():
    out = {}
    for path in sys.argv[2:]:
        try:
            out[path] = cells(path)
        except Exception as e:  # xlrd refuses: say why
            out[path] = {"error": "%s: %s" % (type(e).__name__, e)}
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        json.dump(out, f, ensure_ascii=False)


if __name__ == "__main__":
    main()
