#!/bin/bash
# Times the workbook server against peers doing the same job in one process per folder:
# find "Foo" replace "Bar" over every .xlsx/.xlsm, and a search that matches nothing. The .xls
# sets (the corpus's .xls files, a generated 65,536 x 10 workbook) are replaced and saved the
# same way, against LibreOffice and a script that reads with xlrd and writes a copy with xlwt
# (which loses formatting, formulas and every other stream: see peers/xlrd_xlwt_replace.py).
# Prints per-workbook milliseconds, peak memory and the ratio of each peer to the server.
#
#   bench/run.sh                      everything
#   BENCH_SETS="xlsxwriter" BENCH_PEERS="openpyxl server" bench/run.sh
#
# Environment: BENCH_WORK (scratch folder, default /tmp/tessaromandel-bench), BENCH_CORPUS,
# BENCH_SETS (xlsxwriter corpus big xls bigxls), BENCH_PEERS (server openpyxl exceljs libreoffice
# xlrdxlwt), BENCH_JOBS
# (nomatch foo), BENCH_BIG_ROWS (100000 rows x 10 cells), BENCH_TIMEOUT (seconds one run may
# take, default 600), BENCH_REPEAT (runs per measurement, the best counts; default 5),
# BENCH_BIG_REPEAT (the same for the big set, default 1), BENCH_LIST_ONLY (non-empty: the server
# and LibreOffice only list, as xlrd does), TESSAROMANDEL_CLI (the server's command-line driver;
# default: build*/cli/tessaromandel-cli, else build*/bench/tessaromandel-benchdriver).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=${BENCH_WORK:-/tmp/tessaromandel-bench}
# The measured runs keep their undo data with the bench, never in the user's data folder.
export XDG_DATA_HOME="$work/data-home"
corpus=${BENCH_CORPUS:-$(cd "$root/.." && pwd)/shared/corpus}
sets=${BENCH_SETS:-xlsxwriter corpus big xls bigxls}
peers=${BENCH_PEERS:-server openpyxl exceljs libreoffice xlrdxlwt}
jobs=${BENCH_JOBS:-nomatch foo}
big_rows=${BENCH_BIG_ROWS:-100000}
run_timeout=${BENCH_TIMEOUT:-600}
repeat=${BENCH_REPEAT:-5}
big_repeat=${BENCH_BIG_REPEAT:-1}
python=/usr/bin/python3
nomatch_text='Zq7NoSuchTextXv'

# The server's slot: the CLI when it is built, else the bench's own driver over the server.
cli=${TESSAROMANDEL_CLI:-}
if [ -z "$cli" ]; then
    for candidate in "$root"/build/cli/tessaromandel-cli "$root"/build*/cli/tessaromandel-cli \
        "$root"/build/bench/tessaromandel-benchdriver "$root"/build*/bench/tessaromandel-benchdriver; do
        if [ -x "$candidate" ]; then
            cli=$candidate
            break
        fi
    done
fi
[ -n "$cli" ] && echo "server: $cli" >&2

mkdir -p "$work/inputs"

prepare_inputs() {
    local set=$1 dest="$work/inputs/$1"
    [ -d "$dest" ] && return 0
    mkdir -p "$dest.tmp"
    case $set in
    xlsxwriter)
        find "$corpus/xlsxwriter" -type f \( -iname '*.xlsx' -o -iname '*.xlsm' \) \
            -exec cp {} "$dest.tmp/" \;
        ;;
    corpus)
        (cd "$corpus" && find . -type f \( -iname '*.xlsx' -o -iname '*.xlsm' \) \
            -exec cp --parents {} "$dest.tmp/" \;)
        ;;
    big)
        echo "generating a workbook of $((big_rows * 10)) cells ..." >&2
        "$python" "$here/peers/generate_big_workbook.py" "$dest.tmp/big.xlsx" "$big_rows"
        ;;
    xls)
        (cd "$corpus" && find . -type f -iname '*.xls' -exec cp --parents {} "$dest.tmp/" \;)
        ;;
    bigxls)
        echo "generating an .xls of 655,360 cells ..." >&2
        "$python" "$here/peers/generate_big_xls.py" "$dest.tmp/big.xls"
        ;;
    esac
    chmod -R u+w "$dest.tmp"
    mv "$dest.tmp" "$dest"
}

prepare_exceljs() {
    if [ ! -d "$work/node/node_modules/exceljs" ]; then
        echo "installing exceljs into $work/node ..." >&2
        npm install --silent --no-audit --no-fund --prefix "$work/node" exceljs >&2
    fi
}

# peer job folder -> the command line in cmd
command_for() {
    local peer=$1 job=$2 folder=$3 find=Foo
    [ "$job" = nomatch ] && find=$nomatch_text
    case $peer in
    server) cmd=("$cli" replace "$folder" --find "$find" --replace Bar $list_only) ;;
    xlrd) cmd=("$python" "$here/peers/xlrd_list.py" "$folder" "$find") ;;
    xlrdxlwt) cmd=("$python" "$here/peers/xlrd_xlwt_replace.py" "$folder" "$find" Bar) ;;
    openpyxl) cmd=("$python" "$here/peers/openpyxl_replace.py" "$folder" "$find" Bar) ;;
    exceljs) cmd=(node "$here/peers/exceljs_replace.js" "$folder" "$find" Bar) ;;
    libreoffice)
        cmd=(env "BENCH_LIST_ONLY=$([ -n "$list_only" ] && echo 1 || echo 0)"
            "$here/peers/libreoffice_replace.sh" "$folder" "$find" Bar)
        ;;
    esac
}

peak_mb() {
    awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$1"
}

# What the measuring itself costs: /usr/bin/time and timeout around /bin/true, best of ten.
# It is taken off every time, so a 30 ms run is not charged for 3 ms of wrappers.
overhead=""
for ((r = 1; r <= 10; r++)); do
    start=$EPOCHREALTIME
    /usr/bin/time -v -o "$work/time.txt" timeout "$run_timeout" /bin/true
    stop=$EPOCHREALTIME
    took=$(awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$overhead" ] || awk -v t="$took" -v b="$overhead" 'BEGIN { exit !(t < b) }'; then
        overhead=$took
    fi
done
echo "measuring overhead: $overhead s per run, taken off every time" >&2

results="$work/results.tsv"
printf 'set\tjob\tpeer\tworkbooks\tms_per_workbook\tseconds\tpeak_mb\tsaved\n' >"$results"
declare -A ms

for peer in $peers; do
    [ "$peer" = exceljs ] && prepare_exceljs
done

for set in $sets; do
    prepare_inputs "$set"
    count=$(find "$work/inputs/$set" -type f \( -iname '*.xlsx' -o -iname '*.xlsm' -o -iname '*.xls' \) | wc -l)
    list_only=${BENCH_LIST_ONLY:+--list-only}
    if [ "$set" = big ]; then
        "$python" - "$work/inputs/big/big.xlsx" <<'PY' >&2
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    if i.filename.startswith("xl/worksheets/") or i.filename == "xl/sharedStrings.xml":
        print(f"  {i.filename}: {i.file_size / 2**20:.1f} MiB uncompressed, "
              f"{i.compress_size / 2**20:.1f} MiB in the zip")
PY
    fi
    if [ "$set" = bigxls ]; then
        "$python" - "$work/inputs/bigxls/big.xls" <<'PY' >&2
import sys, olefile
with olefile.OleFileIO(sys.argv[1]) as ole:
    size = ole.get_size("Workbook")
print(f"  Workbook stream: {size / 2**20:.1f} MiB; 3 times that is {3 * size / 2**20:.1f} MiB")
PY
    fi
    repeat_for_set=$repeat
    case $set in big | bigxls) repeat_for_set=$big_repeat ;; esac
    for job in $jobs; do
        for peer in $peers; do
            # xlrd and xlwt only know .xls; the OOXML peers only the others.
            case $set/$peer in
            xls/server | bigxls/server | xls/libreoffice | bigxls/libreoffice) ;;
            xls/xlrd | bigxls/xlrd | xls/xlrdxlwt | bigxls/xlrdxlwt) ;;
            xls/* | bigxls/* | */xlrd | */xlrdxlwt) continue ;;
            esac
            if [ "$peer" = server ] && [ -z "$cli" ]; then
                echo "server: no driver found (build the project or set TESSAROMANDEL_CLI); skipped" >&2
                continue
            fi
            # Best of BENCH_REPEAT runs, each on a fresh copy, timed in microseconds:
            # /usr/bin/time's centiseconds are too coarse for a folder done in 30 ms.
            best=""
            peak=""
            status=0
            for ((r = 1; r <= repeat_for_set; r++)); do
                run="$work/run"
                rm -rf "$run"
                cp -a "$work/inputs/$set" "$run"
                sync
                command_for "$peer" "$job" "$run"
                status=0
                start=$EPOCHREALTIME
                BENCH_WORK=$work NODE_PATH="$work/node/node_modules" /usr/bin/time -v -o "$work/time.txt" \
                    timeout "$run_timeout" "${cmd[@]}" >"$work/out.txt" 2>"$work/err.txt" || status=$?
                stop=$EPOCHREALTIME
                [ "$status" != 0 ] && break
                took=$(awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.4f", b - a }')
                if [ -z "$best" ] || awk -v t="$took" -v b="$best" 'BEGIN { exit !(t < b) }'; then
                    best=$took
                    peak=$(peak_mb "$work/time.txt")
                fi
            done
            if [ "$status" = 124 ]; then
                echo "$set/$job/$peer: no result within ${run_timeout} s" >&2
                continue
            elif [ "$status" != 0 ]; then
                echo "$set/$job/$peer failed ($status): $(tail -n 3 "$work/err.txt")" >&2
                continue
            fi
            seconds=$(awk -v b="$best" -v o="$overhead" 'BEGIN { printf "%.4f", b - o }')
            saved=$(sed -n 's/.*"saved": *\([0-9]*\).*/\1/p' "$work/out.txt" | tail -n 1)
            per=$(awk -v s="$seconds" -v n="$count" 'BEGIN { printf "%.2f", n ? s * 1000 / n : 0 }')
            ms[$set/$job/$peer]=$seconds
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$set" "$job" "$peer" "$count" "$per" \
                "$seconds" "$peak" "${saved:--}" >>"$results"
            printf '%-10s %-8s %-11s %5d workbooks %10s ms/workbook %9s s %9s MB peak  saved %s\n' \
                "$set" "$job" "$peer" "$count" "$per" "$seconds" "$peak" "${saved:--}"
        done
        server_ms=${ms[$set/$job/server]:-}
        if [ -n "$server_ms" ]; then
            for peer in $peers; do
                [ "$peer" = server ] && continue
                peer_ms=${ms[$set/$job/$peer]:-}
                [ -z "$peer_ms" ] && continue
                awk -v p="$peer_ms" -v s="$server_ms" -v l="$set $job $peer/server" \
                    'BEGIN { if (s > 0) printf "  ratio %s: %.1fx\n", l, p / s }'
            done
        fi
    done
done
rm -rf "$work/run"
echo "results: $results" >&2
