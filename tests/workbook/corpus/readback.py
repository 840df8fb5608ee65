"""Independent reader for the corpus test: openpyxl reads each original and the workbook the
server saved, and reports every difference the test did not ask for.

Input (argv[1]): JSON list of {original, saved, token, replacement, oldName, newName, header}.
Output (stdout): JSON {"checked": n, "unreadable": [...], "problems": [...]}.
"""
import json
import re
import sys
import warnings

import openpyxl

warnings.simplefilter("ignore")


def quoted(name):
    if re.fullmatch(r"[A-Za-z_][A-Za-z0-9_.]*", name) and not re.fullmatch(r"[A-Za-z]{1,3}[0-9]+", name):
        return name
    return "'" + name.replace("'", "''") + "'"


def names_old_sheet(formula, ref):
    """Whether formula refers to the sheet (not a sheet of the same name in another workbook)."""
    return re.search(r"(?<![\]\w'.])" + re.escape(ref), formula, re.IGNORECASE) is not None


def load(path):
    return openpyxl.load_workbook(path, data_only=False, keep_vba=False)


def main():
    jobs = json.load(open(sys.argv[1]))
    problems, unreadable, checked = [], [], 0
    for job in jobs:
        try:
            before = load(job["original"])
        except Exception as e:  # openpyxl cannot read every corpus file
            unreadable.append("%s: %s" % (job["original"], type(e).__name__))
            continue
        try:
            after = load(job["saved"])
        except Exception as e:
            problems.append("%s: saved file unreadable: %r" % (job["saved"], e))
            continue
        checked += 1
        where = job["saved"]
        pattern = re.compile(re.escape(job["token"]), re.IGNORECASE)
        old_ref = quoted(job["oldName"]) + "!"
        new_ref = quoted(job["newName"]) + "!"
        names_before = list(before.sheetnames)
        names_after = list(after.sheetnames)
        if names_before:
            expected = [job["newName"]] + names_before[1:]
            if names_before[0] != job["oldName"]:
                expected = names_before  # openpyxl skipped the first (macro/dialog) sheet
            if names_after != expected:
                problems.append("%s: sheet names %r, expected %r" % (where, names_after, expected))
                continue
        for ws_before, ws_after in zip(before.worksheets, after.worksheets):
            if ws_after.oddHeader.center.text != job["header"] and ws_before.title == job["oldName"]:
                problems.append("%s: centre header %r" % (where, ws_after.oddHeader.center.text))
            for row in ws_before.iter_rows():
                for cell in row:
                    v = cell.value
                    got = ws_after[cell.coordinate].value
                    locked = ws_before.protection.sheet and cell.protection.locked
                    if isinstance(v, str) and not v.startswith("="):
                        want = v if locked else pattern.sub(job["replacement"], v)
                        if want == "" and v != "":
                            want = None  # emptied by the replacement
                        if got != want:
                            problems.append("%s!%s: %r, expected %r" % (where, cell.coordinate, got, want))
                    elif isinstance(v, str):
                        replaced = v if locked else pattern.sub(job["replacement"], v)
                        if not isinstance(got, str):
                            problems.append("%s!%s: formula %r became %r" % (where, cell.coordinate, v, got))
                        elif names_old_sheet(replaced, old_ref) and new_ref.lower() not in got.lower():
                            problems.append("%s!%s: formula %r still names the old sheet" % (where, cell.coordinate, got))
                    elif v is not None and type(v) in (int, float, bool) and got != v:
                        problems.append("%s!%s: %r became %r" % (where, cell.coordinate, v, got))
    json.dump({"checked": checked, "unreadable": unreadable, "problems": problems}, sys.stdout)


main()
