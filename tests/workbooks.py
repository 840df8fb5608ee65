"""Makes and reads back real workbooks for the end-to-end tests, with openpyxl as an
independent reader and writer (xlwt and xlrd for a path ending in .xls).

    workbooks.py make PATH JSON   JSON: [[sheet name, [column A texts]], ...]
    workbooks.py make-all ROOT JSON
                                  JSON: {relative path: sheets as for make, ...}
    workbooks.py dump PATH        prints JSON: [[sheet name, [column A texts],
                                                 [left, centre, right header],
                                                 [left, centre, right footer]], ...]
    workbooks.py streams PATH     prints JSON: {stream path: SHA-256 of its bytes} of an .xls
                                  compound file, read by olefile
"""
import json
import os
import struct
import sys

import openpyxl


def is_xls(path):
    return path.lower().endswith('.xls')


def make_xls(path, sheets):
    import xlwt
    book = xlwt.Workbook()
    for name, cells in sheets:
        sheet = book.add_sheet(name)
        sheet.header_str = b''
        sheet.footer_str = b''
        for row, text in enumerate(cells):
            sheet.write(row, 0, text)
    book.save(path)


def section_map(text):
    """A header's left, centre and right sections by code ('L', 'C', 'R'); text before any
    code is the centre's."""
    out, current, i = {'L': '', 'C': '', 'R': ''}, 'C', 0
    while i < len(text):
        if text[i] == '&' and i + 1 < len(text):
            if text[i + 1] in 'LCR':
                current = text[i + 1]
            else:
                out[current] += text[i:i + 2]
            i += 2
            continue
        out[current] += text[i]
        i += 1
    return out


def sections(text):
    """Left, centre and right sections of a header, None where empty."""
    if not text:
        return [None, None, None]
    out = section_map(text)
    return [out[k] or None for k in 'LCR']


def page_texts(path):
    """(header, footer) of each sheet substream, read from the records themselves."""
    import olefile
    with olefile.OleFileIO(path) as ole:
        stream = ole.openstream('Workbook').read()
    found, depth, pos, view = [], 0, 0, False
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from('<HH', stream, pos)
        body = stream[pos + 4:pos + 4 + size]
        pos += 4 + size
        if kind == 0x0809:
            depth += 1
            if depth == 1:
                found.append([None, None])
        elif kind == 0x000A:
            depth -= 1
        elif kind in (0x01AA, 0x01AB):
            view = kind == 0x01AA
        elif kind in (0x0014, 0x0015) and depth == 1 and not view and len(found) > 1:
            text = ''
            if size:
                count, flags = struct.unpack_from('<HB', body, 0)
                raw = body[3:3 + count * (2 if flags & 1 else 1)]
                text = raw.decode('utf-16-le' if flags & 1 else 'latin-1')
            slot = 0 if kind == 0x0014 else 1
            if found[-1][slot] is None:
                found[-1][slot] = text
    return found[1:]


def dump_xls(path):
    import xlrd
    book = xlrd.open_workbook(path, logfile=open(os.devnull, 'w'))
    result = []
    for sheet, (header, footer) in zip(book.sheets(), page_texts(path)):
        column = [sheet.cell_value(r, 0) if sheet.ncols else None for r in range(sheet.nrows)]
        result.append([sheet.name, column, sections(header), sections(footer)])
    print(json.dumps(result, ensure_ascii=False))


def make(path, sheets):
    if is_xls(path):
        make_xls(path, sheets)
        return
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, cells in sheets:
        sheet = book.create_sheet(name)
        for row, text in enumerate(cells, start=1):
            sheet.cell(row=row, column=1, value=text)
    book.save(path)


def dump(path):
    if is_xls(path):
        dump_xls(path)
        return
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


def streams(path):
    import hashlib
    import olefile
    with olefile.OleFileIO(path) as ole:
        result = {'/'.join(entry): hashlib.sha256(ole.openstream(entry).read()).hexdigest()
                  for entry in ole.listdir(streams=True, storages=False)}
    print(json.dumps(result, ensure_ascii=False))


if __name__ == '__main__':
    if sys.argv[1] == 'make':
        make(sys.argv[2], json.loads(sys.argv[3]))
    elif sys.argv[1] == 'make-all':
        make_all(sys.argv[2], json.loads(sys.argv[3]))
    elif sys.argv[1] == 'streams':
        streams(sys.argv[2])
    else:
        dump(sys.argv[2])
