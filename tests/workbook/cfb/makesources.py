#!/usr/bin/python3
"""Writes the compound files the writer test starts from, with an independent writer (xlwt).

Usage: makesources.py FOLDER
  FOLDER/xlwt_small.xls  a few sheets of text, numbers and a formula
  FOLDER/xlwt_large.xls  a Workbook stream of about 8 MB: more FAT sectors than the header lists
  FOLDER/sheet.csv       for LibreOffice to turn into an .xls of its own
Exits 2 when xlwt is missing.
"""
import os
import sys

try:
    import xlwt
except ImportError:
    sys.exit(2)

folder = sys.argv[1]

book = xlwt.Workbook()
for s in range(3):
    sheet = book.add_sheet("Sheet %d" % (s + 1))
    for r in range(40):
        sheet.write(r, 0, "Foo row %d" % r)
        sheet.write(r, 1, r * 1.5)
    sheet.write(40, 1, xlwt.Formula("SUM(B1:B40)"))
book.save(os.path.join(folder, "xlwt_small.xls"))

book = xlwt.Workbook()
sheet = book.add_sheet("Numbers")
for r in range(60000):
    row = sheet.row(r)
    for c in range(8):
        row.set_cell_number(c, r * 8 + c + 1.0 / 3)
book.save(os.path.join(folder, "xlwt_large.xls"))

with open(os.path.join(folder, "sheet.csv"), "w") as f:
    for r in range(200):
        f.write("Foo %d,%d,%s\n" % (r, r * 3, "x" * (r % 17)))
