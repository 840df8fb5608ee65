"""A header cell of a table renames its column, and every structured reference follows, as when
the header is edited in Excel. Workbooks written by xlsxwriter, read back by openpyxl.

    tablecolumns.py CLI
"""
import os
import subprocess
import sys
import tempfile

import openpyxl
import xlsxwriter


def make(path):
    book = xlsxwriter.Workbook(path)
    sheet = book.add_worksheet('S')
    sheet.add_table('A1:C4', {
        'name': '销售表',
        'data': [['甲', 10], ['乙', 20]],
        'total_row': True,
        'columns': [{'header': '名称', 'total_string': '合计'},
                    {'header': '旧公司金额', 'total_function': 'sum'},
                    {'header': '双倍', 'formula': '=[@旧公司金额]*2'}]})
    other = book.add_worksheet('T')
    other.write_formula('A1', '=SUM(销售表[旧公司金额])')
    other.write('A2', '旧公司')
    book.close()


def run(cli, folder, find, replace):
    done = subprocess.run([cli, 'replace', folder, '--find', find, '--replace', replace],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


def check(condition, what):
    if not condition:
        print('FAIL:', what)
        sys.exit(1)


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, 'Table.xlsx')
        make(path)
        run(cli, folder, '旧公司', '新公司')
        book = openpyxl.load_workbook(path)
        table = book['S'].tables['销售表']
        names = [c.name for c in table.tableColumns]
        check(names == ['名称', '新公司金额', '双倍'], 'column names %r' % names)
        check(book['S']['B1'].value == '新公司金额', 'header cell %r' % book['S']['B1'].value)
        calculated = table.tableColumns[2].calculatedColumnFormula.attr_text
        check('新公司金额' in calculated and '旧公司' not in calculated, calculated)
        check(book['S']['C2'].value.count('新公司金额') == 1, book['S']['C2'].value)
        check(book['T']['A1'].value == '=SUM(销售表[新公司金额])', book['T']['A1'].value)
        check(book['T']['A2'].value == '新公司', book['T']['A2'].value)
        totals = book['S']['B4'].value
        check('新公司金额' in totals, 'totals %r' % totals)

        # A header that would duplicate another column leaves the workbook as it was.
        before = open(path, 'rb').read()
        run(cli, folder, '双倍', '名称')
        check(open(path, 'rb').read() == before, 'duplicate column name written')
        report = open(os.path.join(folder, '无法打开修改的文件目录(文件格式有误).txt'),
                      encoding='utf-8').read()
        check('Table.xlsx' in report, 'refused workbook not reported')
        # So does an empty header.
        run(cli, folder, '名称', '')
        check(open(path, 'rb').read() == before, 'empty column name written')
    print('table columns: ok')


main()
