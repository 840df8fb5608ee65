#!/usr/bin/python3
"""Checks rewritten compound files against their originals with olefile (and xlrd).

Usage: olecompare.py MANIFEST.json
The manifest is a list of cases: {"name", "original", "result", "replaced": {stream path
joined by "/": file holding its expected content}, "xlrd": bool}. Every stream and storage of
the original must be in the result; those not replaced byte for byte, replaced ones equal to the
expected content; every directory entry keeps its CLSID, state bits and times. With "xlrd",
xlrd must read the result's sheets and cells as it reads the original's. Prints one line per
failing case and exits 1 when any failed; exits 2 when olefile or xlrd is missing.
"""
import json
import sys

try:
    import olefile
    import xlrd
except ImportError as e:
    print("missing module: %s" % e)
    sys.exit(2)


def entries(ole):
    out = {}
    for path in ole.listdir(streams=True, storages=True):
        out["/".join(path)] = path
    return out


def entry_fields(ole, path):
    e = ole.direntries[ole._find(path)] if path else ole.root
    return (e.entry_type, e.clsid, e.dwUserFlags, e.createTime, e.modifyTime)


def sheets(path):
    book = xlrd.open_workbook(path, formatting_info=False)
    out = []
    for sheet in book.sheets():
        cells = [[(c.ctype, c.value) for c in sheet.row(r)] for r in range(sheet.nrows)]
        out.append((sheet.name, cells))
    return out


XLRD_CHECKED = []


def check(case):
    problems = []
    # The result must open where olefile refuses incorrect structures, unless the original
    # already had some (damaged corpus files).
    try:
        original = olefile.OleFileIO(case["original"], raise_defects=olefile.DEFECT_INCORRECT)
        strict = olefile.DEFECT_INCORRECT
    except Exception:
        original = olefile.OleFileIO(case["original"])
        strict = olefile.DEFECT_FATAL
    result = olefile.OleFileIO(case["result"], raise_defects=strict)
    if result.sector_size != original.sector_size:
        problems.append("sector size %d, was %d" % (result.sector_size, original.sector_size))
    before, after = entries(original), entries(result)
    if sorted(before) != sorted(after):
        problems.append("entries differ: %s vs %s" % (sorted(before), sorted(after)))
    replaced = case.get("replaced", {})
    for name, path in before.items():
        if name not in after:
            continue
        if entry_fields(original, path) != entry_fields(result, after[name]):
            problems.append("directory fields of %r changed" % name)
        if original.get_type(path) != olefile.STGTY_STREAM:
            continue
        got = result.openstream(after[name]).read()
        if name in replaced:
            with open(replaced[name], "rb") as f:
                want = f.read()
            if got != want:
                problems.append("%r: %d bytes, expected the new %d" % (name, len(got), len(want)))
        elif got != original.openstream(path).read():
            problems.append("%r differs from the original" % name)
    if entry_fields(original, None) != entry_fields(result, None):
        problems.append("root entry fields changed")
    for name in replaced:
        if name not in after:
            problems.append("replaced %r is missing" % name)
    if case.get("xlrd"):
        try:
            expected = sheets(case["original"])
        except Exception:
            expected = None  # xlrd cannot read the original either
        if expected is not None:
            XLRD_CHECKED.append(case["name"])
            if expected != sheets(case["result"]):
                problems.append("xlrd reads other sheets or cells")
    return problems


def main():
    with open(sys.argv[1]) as f:
        cases = json.load(f)
    failed = 0
    for case in cases:
        try:
            problems = check(case)
        except Exception as e:  # any reader error is a failure of that case
            problems = ["%s: %s" % (type(e).__name__, e)]
        if problems:
            failed += 1
            print("FAIL %s: %s" % (case["name"], "; ".join(problems)))
    print("checked %d cases (%d read by xlrd too), %d failed"
          % (len(cases), len(XLRD_CHECKED), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
