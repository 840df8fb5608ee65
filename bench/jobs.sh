#!/bin/bash
# Times the command line with its default workers against --jobs 1 and against openpyxl over
# the realistic set (peers/generate_realistic_set.py: 60 workbooks, 3 sheets x 2,000 rows),
# for a search that matches nothing and for "旧公司" -> "新公司", which changes every workbook
# and saves it durably. Wall time, CPU time (user + system) and peak memory come from
# /usr/bin/time; each of the server's figures is the best of BENCH_REPEAT (5) runs, openpyxl
# runs once. The load average is printed before and after: the machine may be shared.
#
#   bench/jobs.sh [CLI]        CLI defaults to build/cli/tessaromandel-cli
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../build/cli/tessaromandel-cli}
work=${BENCH_WORK:-/tmp/tessaromandel-jobs-bench}
repeat=${BENCH_REPEAT:-5}
python=/usr/bin/python3
# The measured runs keep their undo data with the bench, never in the user's data folder.
export XDG_DATA_HOME="$work/data-home"
mkdir -p "$work"
[ -d "$work/set" ] || $python "$here/peers/generate_realistic_set.py" "$work/set"
# The largest workbook alone: what one worker holds at its peak.
[ -d "$work/one" ] || {
    mkdir -p "$work/one"
    cp "$(ls -S "$work"/set/*.xlsx | head -1)" "$work/one/"
}
results="$work/results.txt"
: >"$results"

# measure NAME FOLDER-TO-COPY FIND REPLACE COMMAND...: one line "NAME wall cpu peak_kb".
measure() {
    local name=$1 source=$2 runs=$3
    shift 3
    local best="" line
    for _ in $(seq "$runs"); do
        rm -rf "$work/run" && cp -r "$source" "$work/run" && sync
        rm -rf "$XDG_DATA_HOME"
        /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" ||
            { cat "$work/err.txt" >&2; exit 1; }
        line=$(awk '{ printf "%s %.2f %d", $1, $2 + $3, $4 }' "$work/time.txt")
        if [ -z "$best" ] || (($(echo "${line%% *} < ${best%% *}" | bc))); then best=$line; fi
    done
    echo "$name $best" | tee -a "$results"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), cores: $(nproc)"
nomatch='Zq7NoSuchTextXv'
for job in nomatch replace; do
    if [ $job = nomatch ]; then find=$nomatch; else find='旧公司'; fi
    measure "$job-default" "$work/set" "$repeat" \
        "$cli" replace "$work/run" --find "$find" --replace '新公司'
    measure "$job-jobs1" "$work/set" "$repeat" \
        "$cli" replace "$work/run" --find "$find" --replace '新公司' --jobs 1
    measure "$job-one-workbook" "$work/one" "$repeat" \
        "$cli" replace "$work/run" --find "$find" --replace '新公司' --jobs 1
    measure "$job-openpyxl" "$work/set" 1 \
        $python "$here/peers/openpyxl_replace.py" "$work/run" "$find" '新公司'
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

$python - "$results" "$($python -c 'import os; print(os.cpu_count())')" <<'PY'
import sys
rows = {}
for line in open(sys.argv[1]):
    name, wall, cpu, peak = line.split()
    rows[name] = (float(wall), float(cpu), int(peak))
workers = int(sys.argv[2])
print("\n%-22s %8s %8s %10s" % ("run", "wall s", "cpu s", "peak KB"))
for name, (wall, cpu, peak) in rows.items():
    print("%-22s %8.2f %8.2f %10d" % (name, wall, cpu, peak))
for job, target in (("nomatch", 70), ("replace", 45)):
    d, one, single, peer = (rows[f"{job}-{k}"] for k in
                            ("default", "jobs1", "one-workbook", "openpyxl"))
    print(f"\n{job}: default {one[0] / d[0]:.2f}x faster than --jobs 1 (target 1.6)")
    print(f"{job}: default {peer[0] / d[0]:.1f}x openpyxl (target {target})")
    print(f"{job}: peak {d[2]} KB against {workers} workers x {single[2]} KB one workbook "
          f"= {workers * single[2]} KB ({'within' if d[2] <= workers * single[2] else 'beyond'})")
PY
