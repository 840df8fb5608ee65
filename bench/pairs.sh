#!/bin/bash
# Times a pair run of one pair against one of 1,000 pairs over the realistic set
# (peers/generate_realistic_set.py): the first pair, "旧公司" -> "新公司", changes every
# workbook; the other 999 are texts of the same kinds found nowhere. Each run works on a fresh
# copy of the set; the best of BENCH_REPEAT (3) runs is shown.
#   bench/pairs.sh [CLI]        CLI defaults to build/cli/tessaromandel-cli
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../build/cli/tessaromandel-cli}
work=${BENCH_WORK:-/tmp/tessaromandel-pairs-bench}
# The measured runs keep their undo data with the bench, never in the user's data folder.
export XDG_DATA_HOME="$work/data-home"
repeat=${BENCH_REPEAT:-3}
mkdir -p "$work"
[ -d "$work/set" ] || /usr/bin/python3 "$here/peers/generate_realistic_set.py" "$work/set"

/usr/bin/python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
rng = random.Random(1000)
syllables = "甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌亥"
finds, replaces = ["旧公司"], ["新公司"]
while len(finds) < 1000:
    k = len(finds)
    if k % 2:
        finds.append("".join(rng.choice(syllables) for _ in range(3)) + "集团")
    else:
        finds.append("ITEM-%06d" % rng.randrange(10**6))
    replaces.append("替换%d" % k)
for name, n in (("one", 1), ("many", 1000)):
    with open(f"{work}/{name}-find.txt", "w", encoding="utf-8-sig") as f:
        f.write("\n".join(finds[:n]) + "\n")
    with open(f"{work}/{name}-replace.txt", "w", encoding="utf-8-sig") as f:
        f.write("\n".join(replaces[:n]) + "\n")
PY

best() {
    local name=$1 best=""
    for _ in $(seq "$repeat"); do
        rm -rf "$work/run" && cp -r "$work/set" "$work/run"
        local start=$EPOCHREALTIME
        "$cli" replace-pairs "$work/run" --find-file "$work/$name-find.txt" \
            --replace-file "$work/$name-replace.txt" >/dev/null
        local t
        t=$(echo "$EPOCHREALTIME - $start" | bc)
        if [ -z "$best" ] || (($(echo "$t < $best" | bc))); then best=$t; fi
    done
    echo "$best"
}
one=$(best one)
many=$(best many)
printf '1 pair: %.3f s\n1000 pairs: %.3f s\nratio: %.2f\n' "$one" "$many" \
    "$(echo "$many / $one" | bc -l)"
