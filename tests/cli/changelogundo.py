"""tessaromandel-cli's change log (--log) and undo (runs, undo) on real workbooks, with
openpyxl as the independent reader of what the workbooks hold before and after.

    changelogundo.py CLI
"""
import csv
import glob
import hashlib
import io
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

import openpyxl
from openpyxl.utils import get_column_letter

CLI = None


def make(path, sheets, header=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, rows in sheets:
        sheet = book.create_sheet(name)
        for r, row in enumerate(rows, start=1):
            for c, value in enumerate(row, start=1):
                if value is not None:
                    sheet.cell(row=r, column=c, value=value)
        if header is not None:
            sheet.oddHeader.center.text = header
    book.save(path)


def cells(path):
    """{(sheet, address): formula-bar text} as openpyxl reads it."""
    book = openpyxl.load_workbook(path)
    result = {}
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None:
                    result[(sheet.title, cell.coordinate)] = str(cell.value)
    return result


def unguard(field):
    stripped = field.lstrip("'")
    if field.startswith("'") and stripped[:1] in ('=', '+', '-', '@'):
        try:
            float(stripped)
        except ValueError:
            return field[1:]
    return field


def read_log(path):
    with open(path, 'rb') as f:
        data = f.read()
    assert data.startswith(b'\xef\xbb\xbf'), 'no byte-order mark'
    rows = list(csv.reader(io.StringIO(data[3:].decode('utf-8'), newline='')))
    assert rows[0][0].endswith('workbook'), rows[0]
    return [[unguard(f) if i in (3, 4) else f for i, f in enumerate(r)] for r in rows[1:]]


def digests(root):
    result = {}
    for path in sorted(glob.glob(os.path.join(root, '**', '*.xlsx'), recursive=True)):
        with open(path, 'rb') as f:
            result[path] = hashlib.sha256(f.read()).hexdigest()
    return result


class ChangeLogAndUndo(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix='tm-undo-')
        self.books = os.path.join(self.tmp, 'books')
        self.env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.tmp, 'data'))

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def cli(self, *arguments, check=True):
        done = subprocess.run([CLI] + list(arguments), env=self.env, capture_output=True,
                              timeout=120)
        if check:
            self.assertEqual(done.returncode, 0, done.stderr.decode('utf-8', 'replace'))
        return done

    def make_folder(self):
        make(os.path.join(self.books, 'a.xlsx'),
             [['Sheet1', [['数据 2023', 'x', 2023], ['B2023', '=A1&"2023"', None]]],
              ['清单', [['nothing', None, None]]]], header='Page 2023')
        make(os.path.join(self.books, 'sub', 'b.xlsx'),
             [['Data', [['2023年', '2023-old']]], ['Sheet2', [['keep', None]]]])
        make(os.path.join(self.books, 'c.xlsx'), [['Other', [['no match', None]]]])

    def check_log_against_books(self, log, before, outcome):
        """Every row names a cell whose text went from before to after; every cell that
        differs has a row."""
        rows = [r for r in log if r[2][:1].isalpha() and r[2][1:2].isdigit() or
                r[2][:2].isalpha() and r[2][2:3].isdigit()]
        logged = {}
        for path, sheet, where, old, new, result in rows:
            self.assertEqual(result, outcome)
            logged[(os.path.abspath(path), sheet, where)] = (old, new)
        for path, old_cells in before.items():
            new_cells = cells(path)
            for key in set(old_cells) | set(new_cells):
                was, now = old_cells.get(key, ''), new_cells.get(key, '')
                full = (os.path.abspath(path),) + key
                if was != now:
                    self.assertIn(full, logged)
                    self.assertEqual(logged[full], (was, now))
                else:
                    self.assertNotIn(full, logged)

    def test_replace_preview_run_and_undo(self):
        self.make_folder()
        original = digests(self.books)
        before = {p: cells(p) for p in original}
        preview = os.path.join(self.tmp, 'preview.csv')
        self.cli('replace', self.books, '--find', '2023', '--replace', '2024', '--list-only',
                 '--log', preview)
        self.assertEqual(digests(self.books), original)
        self.assertEqual(self.cli('runs').stdout.count(b'\n'), 1)  # no run kept

        log = os.path.join(self.tmp, 'run.csv')
        self.cli('replace', self.books, '--find', '2023', '--replace', '2024', '--log', log)
        self.check_log_against_books(read_log(log), before, '已修改 changed')
        # The preview listed exactly the changes the run made.
        self.assertEqual([r[:5] for r in read_log(preview)], [r[:5] for r in read_log(log)])
        self.assertTrue(all(r[5] == '将修改 would change' for r in read_log(preview)))
        changed = digests(self.books)
        self.assertEqual(changed[os.path.join(self.books, 'c.xlsx')],
                         original[os.path.join(self.books, 'c.xlsx')])

        runs = self.cli('runs').stdout.decode()
        self.assertIn('replace\t2\t', runs)
        undone = self.cli('undo')
        self.assertIn(b'2 restored, 0 left alone', undone.stdout)
        self.assertEqual(digests(self.books), original)
        # Twice: nothing the second time.
        again = self.cli('undo')
        self.assertIn(b'already taken back', again.stdout)
        self.assertEqual(digests(self.books), original)

    def test_pairs_header_rename_logged_and_undone(self):
        self.make_folder()
        original = digests(self.books)
        find = os.path.join(self.tmp, 'find.txt')
        repl = os.path.join(self.tmp, 'repl.txt')
        with open(find, 'w', encoding='utf-8') as f:
            f.write('2023\nold\n')
        with open(repl, 'w', encoding='utf-8') as f:
            f.write('2024\nnew\n')
        before = {p: cells(p) for p in original}
        preview = os.path.join(self.tmp, 'p0.csv')
        self.cli('replace-pairs', self.books, '--find-file', find, '--replace-file', repl,
                 '--list-only', '--log', preview, '--encoding', 'UTF-8')
        self.assertEqual(digests(self.books), original)
        log = os.path.join(self.tmp, 'p1.csv')
        self.cli('replace-pairs', self.books, '--find-file', find, '--replace-file', repl,
                 '--log', log, '--encoding', 'UTF-8')
        self.check_log_against_books(read_log(log), before, '已修改 changed')
        self.assertIn(('sub/b.xlsx', 'Data', 'B1', '2023-old', '2024-new'),
                      [(os.path.relpath(r[0], self.books),) + tuple(r[1:5])
                       for r in read_log(log)])
        self.assertEqual([r[:5] for r in read_log(preview)], [r[:5] for r in read_log(log)])

        header_log = os.path.join(self.tmp, 'h.csv')
        self.cli('header', self.books, '--position', 'center', '--find', '2023', '--replace',
                 'X', '--log', header_log)
        rows = read_log(header_log)
        self.assertIn(['Sheet1', '页眉中 header centre', 'Page 2023', 'Page X', '已修改 changed'],
                      [r[1:] for r in rows])
        book = openpyxl.load_workbook(os.path.join(self.books, 'a.xlsx'))
        self.assertEqual(book['Sheet1'].oddHeader.center.text, 'Page X')

        rename_log = os.path.join(self.tmp, 'r.csv')
        self.cli('rename-sheets', self.books, '--find', 'Sheet', '--replace', 'Tab', '--log',
                 rename_log)
        rows = [r[1:] for r in read_log(rename_log)]
        self.assertIn(['Sheet2', '工作表名 sheet name', 'Sheet2', 'Tab2', '已修改 changed'], rows)
        self.assertEqual(openpyxl.load_workbook(os.path.join(self.books, 'sub', 'b.xlsx'))
                         .sheetnames, ['Data', 'Tab2'])
        # A refused name is logged with the reason.
        refused_log = os.path.join(self.tmp, 'r2.csv')
        self.cli('rename-sheets', self.books, '--nth', '1', '--replace', 'a/b', '--log',
                 refused_log)
        self.assertTrue(all(r[5].startswith('未修改 left as it was') for r in
                            read_log(refused_log)))

        # Three runs kept (the refused names changed nothing); undo after undo walks back.
        self.assertEqual(len(self.cli('runs').stdout.decode().splitlines()), 4)
        for _ in range(3):
            self.cli('undo')
        self.assertEqual(digests(self.books), original)
        self.assertIn(b'already taken back', self.cli('undo').stdout)

    def test_edited_workbook_left_alone_and_named(self):
        self.make_folder()
        self.cli('replace', self.books, '--find', '2023', '--replace', '2024')
        edited = os.path.join(self.books, 'a.xlsx')
        make(edited, [['Mine', [['user edit']]]])
        mine = digests(self.books)[edited]
        done = self.cli('undo', check=False)
        self.assertEqual(done.returncode, 7)
        self.assertIn(b'Left alone: ' + edited.encode(), done.stdout)
        self.assertEqual(digests(self.books)[edited], mine)
        report = glob.glob(os.path.join(self.tmp, 'data', 'Tessaromandel', 'runs', '*',
                                        'undo-report.csv'))[0]
        with open(report, encoding='utf-8-sig') as f:
            self.assertIn('changed since the run', f.read())

    def test_pruned_beyond_twenty_runs(self):
        make(os.path.join(self.books, 'a.xlsx'), [['S', [['v0']]]])
        first = None
        for i in range(21):
            self.cli('replace', self.books, '--find', 'v%d' % i, '--replace', 'v%d' % (i + 1))
            if first is None:
                first = os.listdir(os.path.join(self.tmp, 'data', 'Tessaromandel', 'runs'))[0]
        runs = self.cli('runs').stdout.decode().splitlines()[1:]
        self.assertEqual(len(runs), 20)
        self.assertNotIn(first, '\n'.join(runs))
        gone = self.cli('undo', first, check=False)
        self.assertEqual(gone.returncode, 6)
        self.assertIn(b'no longer kept', gone.stderr)

    def test_other_file_system_falls_back(self):
        if not os.path.isdir('/dev/shm'):
            self.skipTest('no tmpfs at /dev/shm')
        shm = tempfile.mkdtemp(prefix='tm-undo-', dir='/dev/shm')
        try:
            if os.stat(shm).st_dev == os.stat(self.tmp).st_dev:
                self.skipTest('/dev/shm is not another file system here')
            self.books = os.path.join(shm, 'books')
            self.make_folder()
            original = digests(self.books)
            self.cli('replace', self.books, '--find', '2023', '--replace', '2024')
            # Linked beside the workbooks, in the hidden folder the walk never enters.
            kept = glob.glob(os.path.join(self.books, '.tessaromandel', 'runs', '*', '*.xlsx'))
            self.assertEqual(len(kept), 2)
            self.cli('undo')
            self.assertEqual(digests(self.books), original)

            # No folder can be made there: copies in the data folder.
            shutil.rmtree(os.path.join(self.books, '.tessaromandel'), ignore_errors=True)
            open(os.path.join(self.books, '.tessaromandel'), 'w').close()
            self.cli('replace', self.books, '--find', '2023', '--replace', '2024')
            copies = glob.glob(os.path.join(self.tmp, 'data', 'Tessaromandel', 'runs', '*',
                                            '*.xlsx'))
            self.assertEqual(len(copies), 2)
            self.cli('undo')
            self.assertEqual(digests(self.books), original)
        finally:
            shutil.rmtree(shm, ignore_errors=True)

    def test_kill_during_undo_leaves_every_workbook_whole(self):
        make(os.path.join(self.books, 'w000.xlsx'), [['S', [['2023 %d' % i] for i in range(50)]]])
        for i in range(1, 120):
            shutil.copy(os.path.join(self.books, 'w000.xlsx'),
                        os.path.join(self.books, 'w%03d.xlsx' % i))
        original = digests(self.books)
        self.cli('replace', self.books, '--find', '2023', '--replace', '2024')
        written = digests(self.books)
        for delay in (0.005, 0.02, 0.05):
            process = subprocess.Popen([CLI, 'undo'], env=self.env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(delay)
            process.send_signal(signal.SIGKILL)
            process.wait()
            now = digests(self.books)
            for path, digest in now.items():
                self.assertIn(digest, (original[path], written[path]), path)
        # What a kill just before the rename leaves, planted so it is there every time: the
        # undo that follows clears it, as the next run would.
        planted = os.path.join(self.books, '.~tm0123456789ab.tsave')
        with open(planted, 'wb') as f:
            f.write(b'PK')
        mark = 'v1 %s another-boot 1 1' % urllib.parse.quote(socket.gethostname(), safe='~')
        try:
            os.setxattr(planted, 'user.tessaromandel.save', mark.encode())
        except OSError:
            os.unlink(planted)
        self.cli('undo')
        self.assertEqual(digests(self.books), original)
        self.assertEqual([n for n in os.listdir(self.books) if n.endswith('.tsave')], [])


if __name__ == '__main__':
    CLI = sys.argv.pop(1)
    unittest.main()
