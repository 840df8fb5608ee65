#!/usr/bin/env bash
# setup.sh run  — installs what is missing, builds, starts the program.
# setup.sh test — installs what is missing, builds, runs every test and short fuzz runs.
# Run as root on Debian 12 (installing uses apt-get). BUILD_DIR and CMAKE_ARGS may be set.
set -euo pipefail
mode=${1:-}
case "$mode" in run | test) ;; *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

bash "$top/scripts/install-deps.sh"
# shellcheck disable=SC2086
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"

if [ "$mode" = run ]; then
    exec "$build/app/Tessaromandel"
fi
# House style: every C++ file as .clang-format says (from a git checkout).
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$top" ls-files -z '*.cpp' '*.h' | (cd "$top" && xargs -0 clang-format-14 --dry-run -Werror)
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

# Short libFuzzer runs over the workbook server and its text algorithms (clang only).
fuzz_build=${FUZZ_BUILD_DIR:-$top/build-fuzz}
CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSAROMANDEL_FUZZ=ON
cmake --build "$fuzz_build" -j"$(nproc)" --target workbook_fuzzer workbooktext_fuzzer
ctest --test-dir "$fuzz_build" --output-on-failure -L fuzz
