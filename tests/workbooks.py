"""Makes and reads back real workbooks for the end-to-end tests, with openpyxl as an
independent reader and writer.

    workbooks.py make PATH JSON   JSON: [[sheet name, [column A texts]], ...]
    workbooks.py make-all ROOT JSON
                                  JSON: {relative path: sheets as for make, ...}
    workbooks.py dump PATH        prints JSON: [[sheet name, [column A texts],
                                                 [left, centre, right header],
                                                 [left, centre, right footer]], ...]
"""
import json
import os
import sys

import openpyxl


def make(path, sheets):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, cells in sheets:
        sheet = book.create_sheet(name)
        for row, text in enumerate(cells, start=1):
            sheet.cell(row=row, column=1, value=text)
    book.save(path)


def dump(path):
    book = openpyxl.load_workbook(path)
    result = []
    for sheet in book.worksheets:
        header, footer = sheet.oddHeader, sheet.oddFooter
        result.append([sheet.title, [cell.value for cell in sheet['A']],
                       [header.left.text, header.center.text, header.right.text],
                       [footer.left.text, footer.center.text, footer.right.text]])
    print(json.dumps(result, ensure_ascii=False))


def make_all(root, books):
    for relative, sheets in books.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        make(path, sheets)


if __name__ == '__main__':
    if sys.argv[1] == 'make':
        make(sys.argv[2], json.loads(sys.argv[3]))
    elif sys.argv[1] == 'make-all':
        make_all(sys.argv[2], json.loads(sys.argv[3]))
    else:
        dump(sys.argv[2])
