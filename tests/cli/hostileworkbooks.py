"""One hostile workbook among ordinary ones: the command line, run as a child process under an
address-space limit, refuses the hostile one with its reason, changes the ordinary ones and
exits 0. The workbooks are made here, small on disk (they compress well).

    hostileworkbooks.py CLI [--sanitized]

Under a sanitizer the address-space limit is left out (the shadow memory needs it), and so is
the case that depends on it.
"""
import os
import random
import resource
import subprocess
import sys
import tempfile
import time
import zipfile

UNOPENABLE = '无法打开修改的文件目录(文件格式有误).txt'
CHANGED = '包含内容并成功修改的文件目录.txt'
MIB = 1 << 20
MAIN = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
PKG_REL = 'http://schemas.openxmlformats.org/package/2006/relationships'

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAIL: ' + what)


def write_workbook(path, sheets, shared_part=False, level=6):
    """sheets: [(name, xml bytes or a callable yielding chunks)]. With shared_part every sheet
    names the part of the first."""
    count = len(sheets)
    types = ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.'
             'org/package/2006/content-types"><Default Extension="rels" ContentType="application/'
             'vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType'
             '="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/'
             'vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>')
    root = ('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s"><Relationship '
            'Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>'
            % (PKG_REL, REL))
    book = ['<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="%s" xmlns:r="%s"><sheets>'
            % (MAIN, REL)]
    rels = ['<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="%s">' % PKG_REL]
    for i, (name, _) in enumerate(sheets, start=1):
        book.append('<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (name, i, i))
        target = 1 if shared_part else i
        rels.append('<Relationship Id="rId%d" Type="%s/worksheet" '
                    'Target="worksheets/sheet%d.xml"/>' % (i, REL, target))
    book.append('</sheets></workbook>')
    rels.append('</Relationships>')
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED, compresslevel=level) as z:
        z.writestr('[Content_Types].xml', types)
        z.writestr('_rels/.rels', root)
        z.writestr('xl/workbook.xml', ''.join(book))
        z.writestr('xl/_rels/workbook.xml.rels', ''.join(rels))
        for i, (_, content) in enumerate(sheets[:1] if shared_part else sheets, start=1):
            with z.open('xl/worksheets/sheet%d.xml' % i, 'w', force_zip64=False) as out:
                if callable(content):
                    for chunk in content():
                        out.write(chunk)
                else:
                    out.write(content)
    del count


def sheet_xml(cells):
    return ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData><row r="1">'
            % MAIN + ''.join('<c t="inlineStr"><is><t>%s</t></is></c>' % c for c in cells) +
            '</row></sheetData></worksheet>').encode()


def big_sheet(size, text='Foo', noise=0):
    """A sheet part of about size bytes: rows of inline strings holding text; with noise, every
    row also holds that many random digits, so the part compresses less."""
    def chunks():
        yield ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData>'
               % MAIN).encode()
        cell = '<c t="inlineStr"><is><t>%s</t></is></c>' % text
        row_cells = cell * 100
        written, row = 0, 0
        rnd = random.Random(7)
        while written < size:
            row += 1
            extra = ''
            if noise:
                extra = '<c><v>%s</v></c>' % ''.join(rnd.choice('0123456789')
                                                      for _ in range(noise))
            line = ('<row r="%d">%s%s</row>' % (row, row_cells, extra)).encode()
            written += len(line)
            yield line
        yield b'</sheetData></worksheet>'
    return chunks


def ordinary(folder, name):
    path = os.path.join(folder, name)
    write_workbook(path, [('One', sheet_xml(['Foo here', 'nothing'])),
                          ('Two', sheet_xml(['more Foo']))])
    return path


def run(folder, find, replace, address_space=None):
    """Runs the command line; returns (exit code, output, peak RSS in MiB)."""
    def limit():
        if address_space:
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
    started = time.time()
    command = [CLI, 'replace', folder, '--find', find, '--replace', replace, '--verbose']
    # A child forked from this process counts this process's memory in its own peak until it
    # execs; /usr/bin/time, small, forks the command line itself and reports its peak alone.
    peak_file = os.path.join(folder, '..', os.path.basename(folder) + '.peak')
    timed = os.path.exists('/usr/bin/time')
    if timed:
        command = ['/usr/bin/time', '-f', '%M', '-o', peak_file] + command
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               preexec_fn=limit)
    output = b''
    for chunk in iter(lambda: process.stdout.read(65536), b''):
        output += chunk
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    peak = usage.ru_maxrss // 1024
    if timed:
        with open(peak_file) as f:
            peak = int(f.read().split()[-1]) // 1024
        os.remove(peak_file)
    print('  %.1f s, peak %d MiB' % (time.time() - started, peak))
    for line in output.decode("utf-8", "replace").splitlines():
        if "Reason" in line:
            print("  " + line[:400])
    return process.returncode, output.decode('utf-8', 'replace'), peak


def report(folder, name):
    try:
        with open(os.path.join(folder, name), encoding='utf-8') as f:
            return f.read()
    except FileNotFoundError:
        return ''


def expect_refused(case, folder, hostile, ordinaries, code, output, reason):
    check(code == 0, '%s: exit code %d, expected 0\n%s' % (case, code, output[-2000:]))
    unopenable = report(folder, UNOPENABLE)
    changed = report(folder, CHANGED)
    check(hostile in unopenable, '%s: hostile workbook not reported as refused' % case)
    for path in ordinaries:
        check(path in changed, '%s: %s not reported as changed' % (case, path))
        with zipfile.ZipFile(path) as z:
            check(b'Bar' in z.read('xl/worksheets/sheet1.xml'), '%s: %s not changed' % (case, path))
    refusal = [line for line in output.splitlines() if hostile in line and 'Reason' in line]
    check(any(reason in line for line in refusal),
          '%s: reason "%s" not given; output:\n%s' % (case, reason, '\n'.join(refusal)))


def untouched(case, path, before):
    with open(path, 'rb') as f:
        check(f.read() == before, '%s: hostile workbook changed' % case)


def case_budget(root):
    """Parts under the per-part limits that together pass what one workbook may hold."""
    print('parts together beyond the budget')
    folder = os.path.join(root, 'budget')
    os.makedirs(folder)
    a = ordinary(folder, 'a.xlsx')
    hostile = os.path.join(folder, 'b_hostile.xlsx')
    write_workbook(hostile, [('S%d' % i, big_sheet(9 * MIB)) for i in range(12)])
    c = ordinary(folder, 'c.xlsx')
    before = open(hostile, 'rb').read()
    code, output, peak = run(folder, 'Foo', 'Bar', None if SANITIZED else 2048 * MIB)
    expect_refused('budget', folder, hostile, [a, c], code, output, 'beyond a limit')
    untouched('budget', hostile, before)
    check(SANITIZED or peak < 300, 'budget: peak %d MiB' % peak)


def case_growth(root):
    """A small workbook whose replacements would grow a part past 2 GiB."""
    print('replacements that would make a package over 2 GiB')
    folder = os.path.join(root, 'growth')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a_hostile.xlsx')
    write_workbook(hostile, [('Big', big_sheet(4 * MIB, 'x'))])
    b = ordinary(folder, 'b.xlsx')
    before = open(hostile, 'rb').read()
    # "x" -> 32,767 characters: 70,000 matches would make 2.3 GB. Foo -> Bar changes b.xlsx.
    code, output, _ = run(folder, 'x', 'Bar' + 'y' * 32764, None if SANITIZED else 2048 * MIB)
    expect_refused('growth', folder, hostile, [], code, output, 'beyond a limit')
    untouched('growth', hostile, before)
    check(b not in report(folder, UNOPENABLE), 'growth: ordinary workbook refused')


def case_shared_part(root):
    """65,535 sheets naming one part."""
    print('65,535 sheets naming one part')
    folder = os.path.join(root, 'shared')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a_hostile.xlsx')
    one = sheet_xml(['Foo'] * 1000)
    write_workbook(hostile, [('S%d' % i, one) for i in range(65535)], shared_part=True)
    b = ordinary(folder, 'b.xlsx')
    before = open(hostile, 'rb').read()
    code, output, _ = run(folder, 'Foo', 'Bar', None if SANITIZED else 2048 * MIB)
    expect_refused('shared', folder, hostile, [b], code, output, 'its own part')
    untouched('shared', hostile, before)


def case_out_of_memory(root):
    """A part within every limit that the address space cannot hold: the allocation fails
    inside the workbook, and the run goes on."""
    print('an allocation that fails')
    folder = os.path.join(root, 'memory')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a_hostile.xlsx')
    # About 120 MiB inflated, at a ratio under 200 (random digits in every row).
    write_workbook(hostile, [('Big', big_sheet(120 * MIB, 'Foo', noise=40))], level=1)
    b = ordinary(folder, 'b.xlsx')
    before = open(hostile, 'rb').read()
    code, output, _ = run(folder, 'Foo', 'Bar', BASELINE + 100 * MIB)
    expect_refused('memory', folder, hostile, [b], code, output, 'out of memory')
    untouched('memory', hostile, before)


def case_many_parts(root, address_space):
    """Large parts within every limit, all changed: what is held at once is the part being
    changed, not every changed part, so an address space too small for all of them does."""
    print('many large parts, all changed')
    folder = os.path.join(root, 'parts')
    os.makedirs(folder)
    path = os.path.join(folder, 'a_parts.xlsx')
    # Smaller under the sanitizers, where only the outcome is checked.
    count, size = (3, 8 * MIB) if address_space is None else (6, 24 * MIB)
    write_workbook(path, [('S%d' % i, big_sheet(size, 'Foo', noise=40))
                          for i in range(count)], level=1)
    b = ordinary(folder, 'b.xlsx')
    code, output, _ = run(folder, 'Foo', 'Bar', address_space)
    check(code == 0, 'parts: exit code %d\n%s' % (code, output[-2000:]))
    changed = report(folder, CHANGED)
    check(path in changed and b in changed, 'parts: not reported as changed\n%s' % output[-2000:])
    with zipfile.ZipFile(path) as z:
        check(z.testzip() is None, 'parts: an entry fails its CRC check')
        for i in range(1, count + 1):
            sheet = z.read('xl/worksheets/sheet%d.xml' % i)
            check(b'Foo' not in sheet and sheet.count(b'>Bar<') > 100000,
                  'parts: sheet %d not changed throughout' % i)


def address_space_baseline(root):
    """The command line's own address space on an empty folder, from /proc at its end."""
    folder = os.path.join(root, 'empty')
    os.makedirs(folder)
    for megabytes in range(64, 4096, 32):
        process = subprocess.run([CLI, 'replace', folder, '--find', 'a', '--replace', 'b'],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 preexec_fn=lambda m=megabytes: resource.setrlimit(
                                     resource.RLIMIT_AS, (m * MIB, m * MIB)))
        if process.returncode == 0:
            return megabytes * MIB
    return 4096 * MIB


if __name__ == '__main__':
    CLI = sys.argv[1]
    SANITIZED = '--sanitized' in sys.argv
    with tempfile.TemporaryDirectory() as temporary:
        case_budget(temporary)
        case_growth(temporary)
        case_shared_part(temporary)
        if SANITIZED:
            case_many_parts(temporary, None)
        else:
            BASELINE = address_space_baseline(temporary)
            print('  runs in %d MiB of address space' % (BASELINE // MIB))
            case_out_of_memory(temporary)
            # Six changed parts of 24 MiB held inflated at once would need more.
            case_many_parts(temporary, BASELINE + 128 * MIB)
    if failures:
        print('%d failed' % len(failures))
        sys.exit(1)
    print('all passed')
