#!/usr/bin/env bash
# Compiles, with the MinGW-w64 cross compiler, the Windows implementations of the platform
# services and every source of the workbook server and the engine, so that code meant to build
# on Windows cannot rot unseen on a Linux-only build. Syntax only: Debian's Qt headers (those of
# its Linux build) parse for the Windows target, but there is no Windows Qt to link against.
# Qt's and the zip libraries' headers are system headers here, so that their own warnings under
# the Windows target (dllimport on friend declarations) do not count as ours.
# Usage: check_win32_sources.sh SOURCE_DIR [QT_INCLUDE_DIR]
set -euo pipefail
source_dir=$1
qt=${2:-/usr/include/x86_64-linux-gnu/qt5}
compiler=x86_64-w64-mingw32-g++-posix
command -v "$compiler" >/dev/null || compiler=x86_64-w64-mingw32-g++
command -v "$compiler" >/dev/null || { echo "MinGW-w64 g++ not installed" >&2; exit 1; }
[ -f "$qt/QtCore/qglobal.h" ] || { echo "Qt 5 headers not found in $qt" >&2; exit 1; }

# Only the libraries' own headers, never the rest of the host's /usr/include.
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
for header in zip.h zipconf.h libdeflate.h; do
    for dir in /usr/include "/usr/include/$(gcc -dumpmachine 2>/dev/null || echo none)"; do
        if [ -f "$dir/$header" ]; then
            ln -s "$dir/$header" "$headers/$header"
            break
        fi
    done
done

export compiler source_dir qt headers
check() {
    "$compiler" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$source_dir" \
        -isystem "$qt" -isystem "$qt/QtCore" -isystem "$headers" "$1" || { echo "FAILED: $1" >&2; return 1; }
}
export -f check
{
    ls "$source_dir"/platform/win32/*.cpp "$source_dir"/platform/*.cpp
    find "$source_dir/workbook" "$source_dir/engine" -name '*.cpp'
} | sort | xargs -P 2 -I{} bash -c 'check "$@"' _ {}
