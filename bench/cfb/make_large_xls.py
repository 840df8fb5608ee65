#!/usr/bin/python3
"""Writes an .xls of about 38 MB with xlwt (4 sheets x 60,000 rows x 8 numbers).

Usage: make_large_xls.py OUT.xls
"""
import sys

import xlwt

book = xlwt.Workbook()
for s in range(4):
    sheet = book.add_sheet("S%d" % s)
    for r in range(60000):
        row = sheet.row(r)
        for c in range(8):
            # Not representable as RK, so each cell is a full NUMBER record.
            row.set_cell_number(c, r * 8 + c + 1.0 / 3)
book.save(sys.argv[1])
