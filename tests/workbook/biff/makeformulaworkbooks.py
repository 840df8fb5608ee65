"""Writes workbooks holding known formulas, made by writers independent of the server.

Usage: makeformulaworkbooks.py OUTDIR FORMULAS.txt
  OUTDIR/xlwt.xls     xlwt compiles each formula of FORMULAS.txt's "xlwt" lines itself
  OUTDIR/source.xlsx  openpyxl stores every formula as text, for LibreOffice to convert
Each formula goes into column A of sheet "F", row by row; sheets "Sheet2", "My Sheet" and
"Sheet3" exist for references.
"""
import sys

import openpyxl
import xlwt


def main():
    out, listing = sys.argv[1], sys.argv[2]
    xlwt_formulas, all_formulas = [], []
    with open(listing, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            writers, formula = line.split("\t", 1)
            all_formulas.append(formula)
            if "xlwt" in writers.split(","):
                xlwt_formulas.append(formula)

    book = xlwt.Workbook()
    sheet = book.add_sheet("F")
    for name in ("Sheet2", "My Sheet", "Sheet3"):
        book.add_sheet(name).write(0, 0, 1)
    for row, formula in enumerate(xlwt_formulas):
        sheet.write(row, 0, xlwt.Formula(formula))
    book.save(out + "/xlwt.xls")

    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "F"
    for name in ("Sheet2", "My Sheet", "Sheet3"):
        wb.create_sheet(name)["A1"] = 1
    for row, formula in enumerate(all_formulas, start=1):
        ws.cell(row=row, column=1, value="=" + formula)
    wb.save(out + "/source.xlsx")


if __name__ == "__main__":
    main()
