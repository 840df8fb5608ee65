"""The five runs of the command line on .xls workbooks written by others: python3-xlwt and
LibreOffice make some, the corpus gives the rest (copies). Independent readers check what the
runs wrote: xlrd reads back texts, numbers and sheet names; olefile compares every stream but
the workbook stream (and the document summary after a rename) with the original; LibreOffice,
in one batched call, opens every result it opened before and computes the changed formulas.

    xlsruns.py CLI CORPUS_DIR
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

import olefile
import openpyxl
import xlrd
import xlwt

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import workbooks  # noqa: E402  (tests/workbooks.py: makes and reads back workbooks)

FOUND = '包含内容并成功修改的文件目录.txt'
NOT_FOUND = '不包含内容无修改的文件目录.txt'
COULD_NOT = '无法打开修改的文件目录(文件格式有误).txt'
SUMMARY = '\x05DocumentSummaryInformation'
QUIET = open(os.devnull, 'w')

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAIL:', what)


def make_xlwt(path):
    book = xlwt.Workbook()
    data = book.add_sheet('Data')
    other = book.add_sheet('Other')
    data.write(0, 0, 'Foo bar')
    data.write(1, 0, 'plain')
    bold = xlwt.easyxf('font: bold on')
    data.write_rich_text(2, 0, ('Foo ', ('rich', bold.font)))
    data.write(0, 1, 12.5)
    data.write(1, 1, 7)
    data.write(0, 2, xlwt.Formula('LEN("Foo")+B2'))
    data.write(1, 2, xlwt.Formula("Other!B1*2"))
    data.write(0, 3, True)
    for column, value in enumerate((11, 22, 33, 44)):
        data.write(3, column, value)
    data.header_str = b'&CFoo head'
    other.write(0, 0, 'Foo bar')
    other.write(1, 0, 'Foo')
    other.write(0, 1, 3)
    other.write(1, 1, xlwt.Formula('Data!B1+1'))
    book.save(path)


def make_for_libreoffice(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = 'Calc'
    sheet['A1'] = 'Foo one'
    sheet['A2'] = 'two Foo two'
    sheet['B1'] = 4
    sheet['B2'] = 5.25
    sheet['C1'] = '=LEN("Foo")*2'
    sheet['C2'] = '=SUM(B1:B2)'
    second = book.create_sheet('Data')
    second['A1'] = 'Foo'
    second['A2'] = '=Calc!B1*3'
    book.save(path)


def soffice(args, timeout=240):
    profile = tempfile.mkdtemp(prefix='lo-profile-')
    try:
        return subprocess.run(['soffice', '-env:UserInstallation=file://' + profile,
                               '--headless', '--norestore'] + args,
                              capture_output=True, text=True, timeout=timeout)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def cli(exe, args):
    done = subprocess.run([exe] + args, capture_output=True, text=True, timeout=300)
    check(done.returncode == 0, 'cli %r: exit %d %s' % (args, done.returncode, done.stderr))
    return done


def report(folder, name):
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return set()
    with open(path, encoding='utf-8') as f:
        return {line.strip() for line in f if line.strip()}


def clear_reports(folder):
    for f in glob.glob(os.path.join(folder, '*.txt')):
        os.remove(f)


def cells(path):
    """{sheet name: {(row, column): (kind, value)}} of texts, numbers and booleans."""
    book = xlrd.open_workbook(path, formatting_info=False, logfile=QUIET)
    out = {}
    for sheet in book.sheets():
        found = {}
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                if cell.ctype in (xlrd.XL_CELL_TEXT, xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE,
                                  xlrd.XL_CELL_BOOLEAN):
                    kind = 'text' if cell.ctype == xlrd.XL_CELL_TEXT else 'number'
                    found[(r, c)] = (kind, cell.value)
        out[sheet.name] = found
    return out


def headers(path):
    """The HEADER text of each sheet substream, in stream order (xlrd does not read them)."""
    return [header for header, _ in workbooks.page_texts(path)]


def with_centre(text, centre):
    parts = workbooks.section_map(text or '')
    parts['C'] = centre
    return ''.join('&' + k + parts[k] for k in 'LCR' if parts[k])


def streams(path):
    with olefile.OleFileIO(path) as ole:
        return {'/'.join(e): ole.openstream(e).read() for e in ole.listdir(streams=True)}


def same_other_streams(original, result, changed):
    before, after = streams(original), streams(result)
    check(sorted(before) == sorted(after), '%s: streams %r, were %r' % (result, sorted(after),
                                                                      sorted(before)))
    for name, content in before.items():
        if name.lower() in changed:
            continue
        check(after.get(name) == content, '%s: stream %r changed' % (result, name))


def copy_set(sources, folder):
    os.makedirs(folder)
    pairs = []
    for source in sources:
        target = os.path.join(folder, os.path.basename(source))
        shutil.copyfile(source, target)
        pairs.append((source, target))
    return pairs


def expect_cells(original, result, change):
    """Every cell as change() says it becomes: (kind, value) -> set of allowed results."""
    before, after = cells(original), cells(result)
    for sheet, found in before.items():
        now = after.get(sheet, {})
        for at, cell in found.items():
            allowed = change(sheet, at, cell)
            check(now.get(at) in allowed,
                  '%s: %s!%r was %r, is %r, expected one of %r' % (
                      os.path.basename(result), sheet, at, cell, now.get(at), allowed))


def main():
    exe, corpus = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix='xlsruns-')
    try:
        run(exe, corpus, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print('%d failures' % len(failures))
        sys.exit(1)
    print('xls runs: ok')


def run(exe, corpus, work):
    made = os.path.join(work, 'made')
    os.makedirs(made)
    make_xlwt(os.path.join(made, 'Xlwt.xls'))
    make_for_libreoffice(os.path.join(work, 'Office.xlsx'))
    converted = soffice(['--convert-to', 'xls', '--outdir', made,
                         os.path.join(work, 'Office.xlsx')])
    check(os.path.exists(os.path.join(made, 'Office.xls')),
          'LibreOffice made no .xls: %s' % converted.stderr)
    made_files = sorted(glob.glob(os.path.join(made, '*.xls')))
    corpus_files = sorted(glob.glob(os.path.join(corpus, '**', '*.xls'), recursive=True))
    check(len(corpus_files) > 100, 'corpus .xls files: %d' % len(corpus_files))
    readable = []
    for f in corpus_files:
        try:
            cells(f)
            readable.append(f)
        except Exception:  # xlrd cannot read it either: nothing to compare with
            pass
    to_convert = []  # (original, result) pairs LibreOffice opens

    def changed_corpus(pairs):
        return [(source, target) for source, target in pairs
                if not source.startswith(made) and
                open(source, 'rb').read() != open(target, 'rb').read()]

    # List only: nothing is written, the hits are listed.
    pairs = copy_set(made_files, os.path.join(work, 'list'))
    folder = os.path.join(work, 'list')
    cli(exe, ['replace', folder, '--find', 'Foo', '--replace', 'Quux', '--list-only'])
    hits = {line.split(' ')[0] for line in report(folder, FOUND)}
    for source, target in pairs:
        check(open(source, 'rb').read() == open(target, 'rb').read(), target + ' written')
        check(target in hits, target + ' not listed')

    # Replace on the made workbooks: exact expectations.
    folder = os.path.join(work, 'replace')
    pairs = copy_set(made_files, folder)
    cli(exe, ['replace', folder, '--find', 'foo', '--replace', 'Quux'])
    written = report(folder, FOUND)

    def replaced(sheet, at, cell):
        kind, value = cell
        if kind == 'text' and 'foo' in value.lower():
            return {('text', re.sub('(?i)foo', 'Quux', value))}
        return {cell, ('text', '')}  # a changed formula's result is computed anew

    for source, target in pairs:
        check(any(line.startswith(target) for line in written), target + ' not changed')
        expect_cells(source, target, replaced)
        same_other_streams(source, target, {'workbook'})
        to_convert.append((source, target))
    book = xlrd.open_workbook(os.path.join(folder, 'Xlwt.xls'), formatting_info=True,
                              logfile=QUIET)
    data = book.sheet_by_name('Data')
    check(data.cell_value(2, 0) == 'Quux rich', 'rich text %r' % data.cell_value(2, 0))
    runs = data.rich_text_runlist_map.get((2, 0))
    check(runs is not None and runs[-1][0] == 5 and book.font_list[runs[-1][1]].bold,
          'rich text runs %r' % (runs,))

    # Several pairs: texts and numbers, a MULRK split around a changed number.
    folder = os.path.join(work, 'pairs')
    pairs = copy_set(made_files, folder)
    with open(os.path.join(work, 'find.txt'), 'w', encoding='utf-8') as f:
        f.write('\ufeffFoo\n12.5\n22\n')
    with open(os.path.join(work, 'replace.txt'), 'w', encoding='utf-8') as f:
        f.write('\ufeffBar\n99.25\n220\n')
    cli(exe, ['replace-pairs', folder, '--find-file', os.path.join(work, 'find.txt'),
              '--replace-file', os.path.join(work, 'replace.txt')])

    def paired(sheet, at, cell):
        kind, value = cell
        if kind == 'text' and 'foo' in value.lower():
            return {('text', re.sub('(?i)foo', 'Bar', value))}
        if cell == ('number', 12.5):
            return {('number', 99.25)}
        if cell == ('number', 22.0):
            return {('number', 220.0)}
        return {cell, ('text', '')}

    for source, target in pairs:
        expect_cells(source, target, paired)
        same_other_streams(source, target, {'workbook'})

    # Header, and rename: the made workbooks and the corpus.
    folder = os.path.join(work, 'header')
    # Half the corpus for each, to keep the test short.
    pairs = copy_set(made_files + readable[0::2], folder)
    cli(exe, ['header', folder, '--position', 'center', '--replace', 'Kopf &P'])
    refused = report(folder, COULD_NOT)
    for source, target in pairs:
        if target in refused:
            check(open(source, 'rb').read() == open(target, 'rb').read(),
                  target + ' refused but written')
            continue
        expect_cells(source, target, lambda sheet, at, cell: {cell})
        same_other_streams(source, target, {'workbook'})
        for sheet, (old, new) in enumerate(zip(headers(source), headers(target))):
            check(new == with_centre(old, 'Kopf &P'),
                  '%s: sheet %d header %r from %r' % (target, sheet, new, old))
    check(len(refused) < len(pairs) // 10, 'header refused %d of %d' % (len(refused), len(pairs)))
    to_convert += changed_corpus(pairs)

    folder = os.path.join(work, 'rename')
    pairs = copy_set(made_files + readable[1::2], folder)
    cli(exe, ['rename-sheets', folder, '--find', 'a', '--replace', 'ä'])
    refused = report(folder, COULD_NOT)
    for source, target in pairs:
        if target in refused:
            check(open(source, 'rb').read() == open(target, 'rb').read(),
                  target + ' refused but written')
            continue
        names = [s.name for s in xlrd.open_workbook(source, on_demand=True, logfile=QUIET).sheets()]
        now = [s.name for s in xlrd.open_workbook(target, on_demand=True, logfile=QUIET).sheets()]
        check(now == [n.replace('a', 'ä') for n in names],
              '%s: names %r from %r' % (target, now, names))
        expect_cells(source, target, lambda sheet, at, cell: {cell}) if names == now else None
        same_other_streams(source, target, {'workbook', SUMMARY.lower()})
    to_convert += [p for p in pairs if os.path.basename(p[0]) in ('Xlwt.xls', 'Office.xls')]
    to_convert += changed_corpus(pairs)

    # Replace on the corpus: a found cell changes, or its workbook is left whole.
    folder = os.path.join(work, 'corpus')
    pairs = copy_set(readable, folder)
    cli(exe, ['replace', folder, '--find', 'the', '--replace', 'THE'])
    refused = report(folder, COULD_NOT)
    changed = 0
    for source, target in pairs:
        if open(source, 'rb').read() == open(target, 'rb').read():
            continue
        check(target not in refused, target + ' refused but written')
        changed += 1

        def corpus_change(sheet, at, cell):
            kind, value = cell
            allowed = {cell, ('text', '')}
            if kind == 'text':
                allowed.add(('text', re.sub('(?i)the', 'THE', value)))
            return allowed

        expect_cells(source, target, corpus_change)
        same_other_streams(source, target, {'workbook'})
        to_convert.append((source, target))
    check(changed > 20, 'corpus workbooks changed: %d' % changed)

    # LibreOffice opens every result whose original it opens (every corpus workbook a run
    # changed), in one call.
    out = os.path.join(work, 'converted')
    os.makedirs(out)
    inputs = []
    for i, (source, target) in enumerate(to_convert):
        roles = (('after', target),) if source.startswith(made) else (('before', source),
                                                                       ('after', target))
        for role, path in roles:
            name = os.path.join(work, 'lo', '%02d-%s.xls' % (i, role))
            os.makedirs(os.path.dirname(name), exist_ok=True)
            shutil.copyfile(path, name)
            inputs.append(name)
    soffice(['--convert-to', 'xlsx', '--outdir', out] + inputs, timeout=900)
    opened = 0
    for i, (source, target) in enumerate(to_convert):
        before = os.path.join(out, '%02d-before.xlsx' % i)
        after = os.path.join(out, '%02d-after.xlsx' % i)
        if source.startswith(made) or os.path.exists(before):
            opened += 1
            check(os.path.exists(after), 'LibreOffice did not open %s' % target)
    print('LibreOffice opened the originals of %d of %d results' % (opened, len(to_convert)))
    # The formulas the replacement changed, computed by LibreOffice.
    expected = {'Xlwt.xls': [('Data', 'C1', 11), ('Other', 'B2', 13.5)],
                'Office.xls': [('Calc', 'C1', 8), ('Calc', 'C2', 9.25)]}
    for name, values in expected.items():
        i = to_convert.index((os.path.join(made, name), os.path.join(work, 'replace', name)))
        book = openpyxl.load_workbook(os.path.join(out, '%02d-after.xlsx' % i), data_only=True)
        for sheet, cell, value in values:
            check(book[sheet][cell].value == value,
                  '%s: %s!%s is %r, expected %r' % (name, sheet, cell, book[sheet][cell].value,
                                                    value))


main()
