"""tessaromandel-cli with several workers (--jobs 4) against one (--jobs 1) over the same tree:
the same progress and summaries on stdout, the same reports, change log, undo manifest and
workbooks, with workbooks that cannot be opened, are read-only or cannot be saved in the mix;
and a kill during a parallel run leaves every workbook whole.

    paralleljobs.py CLI
"""
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import openpyxl

CLI = None


def make(path, sheets, header=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, rows in sheets:
        sheet = book.create_sheet(name)
        for row in rows:
            sheet.append(row)
        if header is not None:
            sheet.oddHeader.center.text = header
    book.save(path)


def content(path):
    """What a workbook holds, without the zip's entry times (a save stamps its own time)."""
    with open(path, 'rb') as f:
        data = f.read()
    try:
        with zipfile.ZipFile(path) as z:
            return [(i.filename, i.compress_type, i.CRC, z.read(i)) for i in z.infolist()]
    except zipfile.BadZipFile:
        return data


def set_immutable(path, on):
    return subprocess.run(['chattr', '+i' if on else '-i', path],
                          capture_output=True).returncode == 0


class ParallelJobs(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix='tm-jobs-')
        self.books = os.path.join(self.tmp, 'books')
        self.pristine = os.path.join(self.tmp, 'pristine')
        self.data = os.path.join(self.tmp, 'data')
        self.env = dict(os.environ, XDG_DATA_HOME=self.data)
        self.locked = None

    def tearDown(self):
        for folder in glob.glob(os.path.join(self.tmp, '*', 'locked')):
            set_immutable(folder, False)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def make_tree(self):
        rows = [['旧公司 %d' % i, 'Alpha', i, '=B%d&"x"' % (i + 1)] for i in range(300)]
        for k in range(14):
            name = os.path.join(self.pristine, 'sub%d' % (k % 3), 'w%02d.xlsx' % k)
            if k % 4 == 3:  # no match anywhere
                make(name, [['表一', [['nothing', 1]]]])
            else:
                make(name, [['表一', rows[: 50 + 20 * k]], ['Sheet%d' % k, [['Alpha 旧公司']]]],
                     header='页眉 Alpha')
        with open(os.path.join(self.pristine, 'sub1', 'broken.xlsx'), 'wb') as f:
            f.write(b'PK\x03\x04 not really a workbook')
        readonly = os.path.join(self.pristine, 'sub2', 'readonly.xlsx')
        make(readonly, [['S', [['旧公司 Alpha']]]], header='Alpha')
        os.chmod(readonly, 0o444)
        # A folder nothing may be created in (even by root): its workbook opens but cannot be
        # saved. Where the file system cannot make one, the tree goes without.
        make(os.path.join(self.pristine, 'locked', 'nosave.xlsx'),
             [['S', [['旧公司 Alpha']]]], header='Alpha')

    def restore(self):
        """The tree at the same path as before every run, so paths in the output agree."""
        for folder in glob.glob(os.path.join(self.books, 'locked')):
            set_immutable(folder, False)
        shutil.rmtree(self.books, ignore_errors=True)
        shutil.copytree(self.pristine, self.books)
        self.locked = set_immutable(os.path.join(self.books, 'locked'), True)

    def run_cli(self, arguments, jobs):
        self.restore()
        shutil.rmtree(self.data, ignore_errors=True)
        log = os.path.join(self.tmp, 'log.csv')
        if os.path.exists(log):
            os.unlink(log)
        done = subprocess.run([CLI] + arguments + [self.books, '--verbose', '--log', log,
                                                   '--jobs', str(jobs)],
                              env=self.env, capture_output=True, timeout=300)
        self.assertEqual(done.returncode, 0, done.stderr.decode('utf-8', 'replace'))
        stdout = done.stdout.decode('utf-8')
        run_id = re.search(r'undo (\S+)', stdout)
        # The summaries name the seconds taken, the undo line the run's own id.
        stdout = re.sub(r'耗时\d+秒', '耗时N秒', stdout)
        manifest = []
        if run_id:
            stdout = stdout.replace(run_id.group(1), 'RUN')
            with open(os.path.join(self.data, 'Tessaromandel', 'runs', run_id.group(1),
                                   'manifest.jsonl'), encoding='utf-8') as f:
                for line in f:
                    entry = json.loads(line)
                    if 'path' in entry:
                        self.assertEqual(entry['size'], os.path.getsize(entry['path']))
                        manifest.append((entry['path'], os.path.basename(entry['kept'])))
            # Written as the saves end; read, as undo reads them, by the kept files' numbers.
            manifest.sort(key=lambda entry: int(entry[1].split('-')[0]))
        reports = {}
        for path in glob.glob(os.path.join(self.books, '*.txt')):
            with open(path, 'rb') as f:
                reports[os.path.basename(path)] = f.read()
        with open(log, 'rb') as f:
            logged = f.read()
        books = {os.path.relpath(p, self.books): content(p)
                 for p in sorted(glob.glob(os.path.join(self.books, '**', '*.xlsx'),
                                           recursive=True))}
        return {'stdout': stdout, 'manifest': manifest, 'reports': reports, 'log': logged,
                'books': books}

    def test_every_run_same_with_one_or_four_workers(self):
        self.make_tree()
        pairs = os.path.join(self.tmp, 'find.txt'), os.path.join(self.tmp, 'repl.txt')
        with open(pairs[0], 'w', encoding='utf-8') as f:
            f.write('旧公司\nAlpha\n新公司 1\n')
        with open(pairs[1], 'w', encoding='utf-8') as f:
            f.write('新公司\nBeta\n链 1\n')
        runs = [
            ['replace', '--find', '旧公司', '--replace', '新公司'],
            ['replace', '--find', '旧公司', '--replace', '新公司', '--list-only'],
            ['replace-pairs', '--find-file', pairs[0], '--replace-file', pairs[1]],
            ['header', '--position', 'center', '--find', 'Alpha', '--replace', 'Gamma'],
            ['footer', '--position', 'left', '--replace', '页脚'],
            ['rename-sheets', '--find', 'Sheet', '--replace', '工作表'],
        ]
        for arguments in runs:
            with self.subTest(run=arguments[0], listOnly='--list-only' in arguments):
                one = self.run_cli(arguments, 1)
                four = self.run_cli(arguments, 4)
                for key in one:
                    self.assertEqual(one[key], four[key], key)
                # The mix was there: something changed, something refused.
                named = {name[:2]: text.decode('gbk', 'replace')
                         for name, text in one['reports'].items()}
                unopenable = named.get('无法', '')
                self.assertIn('broken.xlsx', unopenable)
                if '--list-only' not in arguments and arguments[0] != 'rename-sheets':
                    self.assertIn('readonly.xlsx', unopenable)
                    if self.locked:
                        self.assertIn('nosave.xlsx', unopenable)
                if '--list-only' not in arguments:
                    self.assertTrue(one['manifest'])

    def test_kill_during_parallel_run_leaves_every_workbook_whole(self):
        first = os.path.join(self.books, 'w000.xlsx')
        make(first, [['S', [['旧公司 %d' % i, i] for i in range(400)]]])
        for i in range(1, 80):
            shutil.copy(first, os.path.join(self.books, 'w%03d.xlsx' % i))
        original = content(first)
        shutil.copy(first, os.path.join(self.tmp, 'original.xlsx'))
        reference = os.path.join(self.tmp, 'reference')
        os.makedirs(reference)
        shutil.copy(first, reference)
        subprocess.run([CLI, 'replace', reference, '--find', '旧公司', '--replace', '新公司',
                        '--no-undo'], env=self.env, capture_output=True, check=True)
        written = content(os.path.join(reference, 'w000.xlsx'))
        self.assertNotEqual(original, written)
        for delay in (0.05, 0.2, 0.4):
            process = subprocess.Popen([CLI, 'replace', self.books, '--find', '旧公司',
                                        '--replace', '新公司', '--jobs', '4'], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(delay)
            process.send_signal(signal.SIGKILL)
            process.wait()
            for path in glob.glob(os.path.join(self.books, '*.xlsx')):
                self.assertIn(content(path), (original, written), path)
            # Every workbook old again, so that the next kill finds work to interrupt.
            for i in range(80):
                shutil.copy(os.path.join(self.tmp, 'original.xlsx'),
                            os.path.join(self.books, 'w%03d.xlsx' % i))
        # The next run, one that changes nothing, finds no temporary of the killed ones.
        done = subprocess.run([CLI, 'replace', self.books, '--find', 'Zq7NoSuchText',
                               '--replace', 'x'], env=self.env, capture_output=True)
        self.assertEqual(done.returncode, 0)
        left = [n for n in os.listdir(self.books) if n.startswith('.~tm')]
        self.assertEqual(left, [])
        for path in glob.glob(os.path.join(self.books, '*.xlsx')):
            self.assertIn(content(path), (original, written), path)


if __name__ == '__main__':
    CLI = sys.argv.pop(1)
    unittest.main()
