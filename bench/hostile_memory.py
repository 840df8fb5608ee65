"""Peak memory and time of the command line on crafted workbooks, each beside an ordinary one,
one process per folder: how far memory stays in proportion to the largest part it changes.

    /usr/bin/python3 bench/hostile_memory.py [--full-scale] [CLI]

With --full-scale, also the attack at full scale: twelve parts, each inflating to just under
the part limit (1 GiB) within the ratio a part may have (200), a 63 MB file; it takes minutes
and 12 GiB of work, so it is left out unless asked for.

Environment: BENCH_WORK (scratch folder, default /tmp/tessaromandel-hostile), BENCH_STRINGS
(cells of the all-changing sheet, default 10,000,000), BENCH_PARTS and BENCH_PART_MIB (the
many-large-parts workbook, default 8 parts of 64 MiB).
"""
import glob
import os
import shutil
import sys
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(here), 'tests', 'cli'))
import hostileworkbooks as h  # noqa: E402

MIB = h.MIB


def strings_sheet(count):
    """count inline strings "a", 100 to a row."""
    def chunks():
        yield ('<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="%s"><sheetData>'
               % h.MAIN).encode()
        row = ('<c t="inlineStr"><is><t>a</t></is></c>' * 100).encode()
        for r in range(count // 100):
            yield b'<row r="%d">' % (r + 1) + row + b'</row>'
        yield b'</sheetData></worksheet>'
    return chunks


def largest_part(path):
    with zipfile.ZipFile(path) as z:
        return max(i.file_size for i in z.infolist())


FIXED = 0


def measure(name, folder, hostile, find, replace):
    code, output, peak = h.run(folder, find, replace)
    part = largest_part(hostile) / MIB
    if hostile in h.report(folder, h.UNOPENABLE):
        outcome = 'refused'
    elif hostile in h.report(folder, h.CHANGED):
        outcome = 'changed'
    else:
        outcome = 'unchanged'
    print('| %s | %.0f MiB | %s | %d MiB | %.1fx | %.1fx | %d |'
          % (name, part, outcome, peak, peak / part, (peak - FIXED) / part, code))


def full_scale(work):
    """Twelve parts of just under 1 GiB each, every cell holding "Foo": the budget (2 GiB)
    takes two changed parts and refuses the workbook at the third."""
    folder = os.path.join(work, 'full')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a.xlsx')
    # Long cells keep a part under the 10,000,000 cells a sheet may have; the random digits
    # of every row keep it under the ratio of 200 at the default deflate level.
    text = 'Foo ' + 'z' * 96
    h.write_workbook(hostile, [('S%d' % i, h.big_sheet(1023 * MIB, text, noise=24))
                               for i in range(12)])
    print('  file: %.1f MB' % (os.path.getsize(hostile) / 1e6))
    h.ordinary(folder, 'b.xlsx')
    measure('12 parts of 1023 MiB (ratio under 200), all matching', folder, hostile, 'Foo',
            'Bar')
    shutil.rmtree(folder)


def main():
    args = [a for a in sys.argv[1:] if a != '--full-scale']
    h.CLI = args[0] if args else sorted(
        glob.glob(os.path.join(os.path.dirname(here), 'build*', 'cli', 'tessaromandel-cli')))[0]
    h.SANITIZED = False
    work = os.environ.get('BENCH_WORK', '/tmp/tessaromandel-hostile')
    # The measured runs keep their undo data with the bench, never in the user's data folder.
    os.environ['XDG_DATA_HOME'] = os.path.join(work, 'data-home')
    strings = int(os.environ.get('BENCH_STRINGS', '10000000'))
    parts = int(os.environ.get('BENCH_PARTS', '8'))
    part_mib = int(os.environ.get('BENCH_PART_MIB', '64'))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # The command line's own peak, on the ordinary workbook alone.
    global FIXED
    folder = os.path.join(work, 'fixed')
    os.makedirs(folder)
    h.ordinary(folder, 'b.xlsx')
    FIXED = h.run(folder, 'Foo', 'Bar')[2]
    shutil.rmtree(folder)
    print('fixed: %d MiB' % FIXED)
    print('| workbook | largest part | outcome | peak RSS | peak / part | (peak - fixed) / part '
          '| exit |')
    print('|---|---|---|---|---|---|---|')

    folder = os.path.join(work, 'strings')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a.xlsx')
    h.write_workbook(hostile, [('S', strings_sheet(strings))], level=1)
    h.ordinary(folder, 'b.xlsx')
    measure('%d inline strings, all changed' % strings, folder, hostile, 'a', 'b')
    shutil.rmtree(folder)

    folder = os.path.join(work, 'parts')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a.xlsx')
    h.write_workbook(hostile, [('S%d' % i, h.big_sheet(part_mib * MIB, 'Foo', noise=40))
                               for i in range(parts)], level=1)
    h.ordinary(folder, 'b.xlsx')
    measure('%d parts of %d MiB (ratio under 200), all changed' % (parts, part_mib), folder,
            hostile, 'Foo', 'Bar')
    measure('the same, nothing matches', folder, hostile, 'Zq7None', 'Bar')
    shutil.rmtree(folder)

    folder = os.path.join(work, 'budget')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a.xlsx')
    h.write_workbook(hostile, [('S%d' % i, h.big_sheet(9 * MIB)) for i in range(12)])
    h.ordinary(folder, 'b.xlsx')
    measure('12 parts of 9 MiB, together beyond the budget', folder, hostile, 'Foo', 'Bar')
    shutil.rmtree(folder)

    folder = os.path.join(work, 'growth')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a.xlsx')
    h.write_workbook(hostile, [('Big', h.big_sheet(4 * MIB, 'x'))])
    h.ordinary(folder, 'b.xlsx')
    measure('4 MiB part whose replacements grow it past 2 GiB', folder, hostile, 'x',
            'y' * 32767)
    shutil.rmtree(folder)

    folder = os.path.join(work, 'shared')
    os.makedirs(folder)
    hostile = os.path.join(folder, 'a.xlsx')
    h.write_workbook(hostile, [('S%d' % i, h.sheet_xml(['Foo'] * 1000)) for i in range(65535)],
                     shared_part=True)
    h.ordinary(folder, 'b.xlsx')
    measure('65,535 sheets naming one part', folder, hostile, 'Foo', 'Bar')
    shutil.rmtree(folder)

    if '--full-scale' in sys.argv[1:]:
        full_scale(work)
    shutil.rmtree(work)


if __name__ == '__main__':
    main()
