#!/usr/bin/python3
"""Writes a workbook of ROWS x 10 cells (default 100,000 rows: 1,000,000 cells), half text.

Columns A-E hold text (every tenth row's text contains "Foo", so a replace run has work to
do), columns F-J numbers. Uses openpyxl's write-only mode, so memory stays flat.
"""
import sys

from openpyxl import Workbook


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: generate_big_workbook.py OUT.xlsx [ROWS]")
    out = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) == 3 else 100_000
    wb = Workbook(write_only=True)
    ws = wb.create_sheet("Data")
    for r in range(1, rows + 1):
        tag = "Foo" if r % 10 == 0 else "Item"
        ws.append([f"{tag} {r}-{c}" for c in range(5)] + [r * 1.5 + c for c in range(5)])
    wb.save(out)


if __name__ == "__main__":
    main()
