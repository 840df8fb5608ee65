"""Checks the stream positions an .xls workbook stream holds, walking its records on its own.

Usage: xlspositions.py OUT.json FILE...   Writes {file: {"problems": [...], "counts": {...}}}:
BOUNDSHEET8 positions at BOF records, INDEX at its sheet's DEFCOLWIDTH and DBCELL records,
DBCELL offsets to its block's first ROW and to each row's first cell, EXTSST at every set's
first string; every record body at most 8,224 bytes; the string table's cuts.
"""
import json
import struct
import sys

import olefile

CELLS = {0x0006, 0x0201, 0x00BE, 0x027E, 0x00BD, 0x0203, 0x00FD, 0x0204, 0x00D6, 0x0205}
BOF, EOF, CONTINUE, ROW, DBCELL, INDEX = 0x0809, 0x000A, 0x003C, 0x0208, 0x00D7, 0x020B
DEFCOLWIDTH, BOUNDSHEET, SST, EXTSST = 0x0055, 0x0085, 0x00FC, 0x00FF


def records(s):
    pos, out = 0, []
    while len(s) - pos >= 4:
        t, n = struct.unpack_from("<HH", s, pos)
        if pos + 4 + n > len(s):
            raise ValueError("record %04x at %d runs past the end" % (t, pos))
        out.append((t, pos, n))
        pos += 4 + n
    return out


def string_table(s, recs, i, problems, counts):
    """Start positions (stream, offset in record) of every string; counts the cuts."""
    chunks = [(recs[i][1], recs[i][1] + 4, recs[i][1] + 4 + recs[i][2])]
    j = i + 1
    while j < len(recs) and recs[j][0] == CONTINUE:
        chunks.append((recs[j][1], recs[j][1] + 4, recs[j][1] + 4 + recs[j][2]))
        j += 1
    total, unique = struct.unpack_from("<II", s, chunks[0][1])
    ci, pos, starts = 0, chunks[0][1] + 8, []
    for k in range(unique):
        if pos >= chunks[ci][2]:
            ci, pos = ci + 1, chunks[ci + 1][1]
        head_end = pos + 3
        cch, flags = struct.unpack_from("<HB", s, pos)
        runs = struct.unpack_from("<H", s, head_end)[0] if flags & 8 else 0
        head_end += 2 if flags & 8 else 0
        ext = struct.unpack_from("<I", s, head_end)[0] if flags & 4 else 0
        head_end += 4 if flags & 4 else 0
        if head_end > chunks[ci][2]:
            problems.append("string %d: its header is cut" % k)
        starts.append((pos, pos - chunks[ci][0]))
        pos, wide, left = head_end, flags & 1, cch
        while left > 0:
            if pos >= chunks[ci][2]:
                ci, pos = ci + 1, chunks[ci + 1][1]
                wide = s[pos] & 1
                pos += 1
                counts["cut_wide" if wide else "cut_narrow"] += 1
            width = 2 if wide else 1
            if (chunks[ci][2] - pos) % width and (chunks[ci][2] - pos) < left * width:
                problems.append("string %d: a character is cut" % k)
            n = min(left, (chunks[ci][2] - pos) // width)
            pos, left = pos + n * width, left - n
        for size, what in ((4 * runs, "runs"), (ext, "phonetic")):
            while size > 0:
                if pos >= chunks[ci][2]:
                    ci, pos = ci + 1, chunks[ci + 1][1]
                    counts["cut_" + what] += 1
                n = min(size, chunks[ci][2] - pos)
                pos, size = pos + n, size - n
    counts["strings"] += unique
    counts["sst_continues"] += len(chunks) - 1
    return unique, starts


def check(s):
    problems = []
    counts = {k: 0 for k in ("boundsheets", "indexes", "dbcells", "extsst_sets", "strings",
                             "sst_continues", "cut_wide", "cut_narrow", "cut_runs",
                             "cut_phonetic")}
    recs = records(s)
    at = {p: t for t, p, n in recs}
    for t, p, n in recs:
        if n > 8224:
            problems.append("record %04x at %d has %d bytes" % (t, p, n))
    stack = []  # per substream: INDEX, DEFCOLWIDTH, DBCELLs, block rows, first cells
    for i, (t, p, n) in enumerate(recs):
        row = struct.unpack_from("<H", s, p + 4)[0] if n >= 2 else None
        if t == BOF:
            stack.append({"index": None, "defcol": None, "dbcells": [], "rows": [],
                          "first": {}})
        elif t == EOF and stack:
            sub = stack.pop()
            if sub["index"] is not None:
                ip, ilen = sub["index"]
                ibxf = struct.unpack_from("<I", s, ip + 16)[0]
                if sub["defcol"] is not None and ibxf != sub["defcol"]:
                    problems.append("INDEX at %d: DEFCOLWIDTH at %d, not %d"
                                    % (ip, sub["defcol"], ibxf))
                rg = list(struct.unpack_from("<%dI" % ((ilen - 16) // 4), s, ip + 20))
                if rg != sub["dbcells"]:
                    problems.append("INDEX at %d: DBCELLs at %s, not %s"
                                    % (ip, sub["dbcells"], rg))
                counts["indexes"] += 1
        elif not stack:
            continue
        elif t == INDEX:
            stack[-1]["index"] = (p, n)
        elif t == DEFCOLWIDTH:
            stack[-1]["defcol"] = p
        elif t == ROW:
            stack[-1]["rows"].append((row, p, p + 4 + n))
        elif t in CELLS:
            stack[-1]["first"].setdefault(row, p)
        elif t == DBCELL:
            sub = stack[-1]
            rows, first = sub["rows"], sub["first"]
            sub["dbcells"].append(p)
            counts["dbcells"] += 1
            if rows:
                starts, nxt = [], p
                for r, rp, re in reversed(rows):
                    nxt = first.get(r, nxt)
                    starts.append(nxt)
                starts.reverse()
                want = [p - rows[0][1]]
                prev = rows[0][2]
                for st in starts:
                    want.append((st - prev) & 0xFFFF)
                    prev = st
                have = list(struct.unpack_from("<I%dH" % ((n - 4) // 2), s, p + 4))
                if have != want:
                    problems.append("DBCELL at %d holds %s, expected %s" % (p, have, want))
            sub["rows"], sub["first"] = [], {}
        elif t == BOUNDSHEET:
            pos = struct.unpack_from("<I", s, p + 4)[0]
            counts["boundsheets"] += 1
            if at.get(pos) != BOF:
                problems.append("BOUNDSHEET8 at %d points at %d, no BOF" % (p, pos))
        elif t == SST:
            unique, starts = string_table(s, recs, i, problems, counts)
            j = i + 1
            while j < len(recs) and recs[j][0] == CONTINUE:
                j += 1
            if j >= len(recs) or recs[j][0] != EXTSST:
                problems.append("no EXTSST after the SST")
                continue
            ep, en = recs[j][1], recs[j][2]
            dsst = struct.unpack_from("<H", s, ep + 4)[0]
            if dsst != max(unique // 128 + 1, 8):
                problems.append("EXTSST: %d strings a set for %d strings" % (dsst, unique))
                continue
            sets = [struct.unpack_from("<IH", s, ep + 6 + 8 * k) for k in range((en - 2) // 8)]
            want = [starts[k] for k in range(0, unique, dsst)]
            counts["extsst_sets"] += len(sets)
            if sets != want:
                problems.append("EXTSST holds %s, expected %s" % (sets[:8], want[:8]))
    return {"problems": problems, "counts": counts}


def main():
    out = {}
    for path in sys.argv[2:]:
        try:
            ole = olefile.OleFileIO(path)
            out[path] = check(ole.openstream("Workbook").read())
        except Exception as e:
            out[path] = {"problems": ["%s: %s" % (type(e).__name__, e)], "counts": {}}
    with open(sys.argv[1], "w", encoding="utf-8") as f:
        json.dump(out, f)


if __name__ == "__main__":
    main()
