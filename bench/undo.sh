#!/bin/bash
# The cost of keeping undo data: the same replace run with and without it (--no-undo), over
# the realistic set (peers/generate_realistic_set.py: 60 workbooks, every one changed) and
# over the big workbook (peers/generate_big_workbook.py: 1,000,000 cells). Each run works on a
# fresh copy; the best of BENCH_REPEAT (5) runs is shown, wall and CPU (user + system).
#   bench/undo.sh [CLI]        CLI defaults to build/cli/tessaromandel-cli
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../build/cli/tessaromandel-cli}
work=${BENCH_WORK:-/tmp/tessaromandel-undo-bench}
export XDG_DATA_HOME="$work/data-home"
repeat=${BENCH_REPEAT:-5}
mkdir -p "$work/big"
[ -d "$work/set" ] || /usr/bin/python3 "$here/peers/generate_realistic_set.py" "$work/set"
[ -f "$work/big/big.xlsx" ] || /usr/bin/python3 "$here/peers/generate_big_workbook.py" "$work/big/big.xlsx"

measure() { # set find replace [option]
    local best_wall=999999 best_cpu=999999 i
    for ((i = 0; i < repeat; i++)); do
        rm -rf "$work/run" "$XDG_DATA_HOME"
        cp -r "$work/$1" "$work/run"
        sync
        /usr/bin/time -f '%e %U %S' -o "$work/time.txt" \
            "$cli" replace "$work/run" --find "$2" --replace "$3" ${4:+"$4"} >/dev/null
        read -r wall user sys <"$work/time.txt"
        best_wall=$(awk -v a="$wall" -v b="$best_wall" 'BEGIN { print (a < b ? a : b) }')
        best_cpu=$(awk -v a="$user" -v s="$sys" -v b="$best_cpu" \
            'BEGIN { c = a + s; print (c < b ? c : b) }')
    done
    echo "$best_wall $best_cpu"
}

printf '| set | with undo data (wall, cpu) | --no-undo (wall, cpu) |\n|---|---|---|\n'
for job in "set 旧公司 新公司" "big Foo Bar"; do
    read -r set find replace <<<"$job"
    with=$(measure "$set" "$find" "$replace")
    without=$(measure "$set" "$find" "$replace" --no-undo)
    printf '| %s | %s s, %s s | %s s, %s s |\n' "$set" $with $without
done
