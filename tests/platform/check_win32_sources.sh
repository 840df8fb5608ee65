#!/usr/bin/env bash
# Compiles the Windows implementations with the MinGW-w64 cross compiler, so Windows code
# cannot rot unseen on a Linux-only build. Files that need Qt are left to a Windows build.
set -euo pipefail
source_dir=$1
compiler=x86_64-w64-mingw32-g++-posix
command -v "$compiler" >/dev/null || compiler=x86_64-w64-mingw32-g++
command -v "$compiler" >/dev/null || { echo "MinGW-w64 g++ not installed" >&2; exit 1; }
status=0
for file in "$source_dir"/platform/win32/*.cpp "$source_dir"/platform/reportviewer.cpp; do
    "$compiler" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$source_dir" "$file" || status=1
done
exit $status
