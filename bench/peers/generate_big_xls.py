#!/usr/bin/python3
"""Writes an .xls of ROWS x 10 cells (default 65,536 rows, BIFF8's whole grid), half text, with
xlwt: text in the shared string table, numbers in General, percent and date formats. Every
tenth row contains "Foo".

Usage: generate_big_xls.py OUT.xls [ROWS]
"""
import sys

import xlwt


def main():
    out = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 65536
    book = xlwt.Workbook()
    sheet = book.add_sheet("Data")
    percent = xlwt.easyxf(num_format_str="0.00%")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    for r in range(rows):
        row = sheet.row(r)
        row.write(0, "Item %d Foo" % r if r % 10 == 0 else "Item %d" % r)
        row.write(1, "Category %d" % (r % 50))
        row.write(2, "Code-%04d" % (r % 1000))
        row.write(3, "Note for row %d" % r)
        row.write(4, "Text %d" % (r % 50000))
        row.write(5, r * 1.5)
        row.write(6, r)
        row.write(7, (r % 100) / 100.0, percent)
        row.write(8, 40000 + r % 3000, date)
        row.write(9, r % 97)
        if r % 4096 == 4095:
            sheet.flush_row_data()
    book.save(out)


if __name__ == "__main__":
    main()
