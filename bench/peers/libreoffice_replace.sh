#!/bin/bash
# Runs libreoffice_replace.bas in a headless LibreOffice with a profile of its own (made on
# first use under $BENCH_WORK, default /tmp/tessaromandel-bench): FOLDER FIND REPLACE.
set -euo pipefail
[ $# = 3 ] || { echo "usage: libreoffice_replace.sh FOLDER FIND REPLACE" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
profile=${BENCH_WORK:-/tmp/tessaromandel-bench}/lo-profile
module="$profile/user/basic/Standard/Module1.xba"
if [ ! -f "$module" ]; then
    soffice --headless --norestore "-env:UserInstallation=file://$profile" --terminate_after_init \
        >/dev/null 2>&1
fi
# The macro goes in as the profile's own Standard library, which needs no macro security.
/usr/bin/python3 - "$here/libreoffice_replace.bas" "$module" <<'PY'
import sys
from xml.sax.saxutils import escape
code = open(sys.argv[1], encoding="utf-8").read()
open(sys.argv[2], "w", encoding="utf-8").write(
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<!DOCTYPE script:module PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "module.dtd">\n'
    '<script:module xmlns:script="http://openoffice.org/2000/script" script:name="Module1" '
    'script:language="StarBasic">' + escape(code, {'"': "&quot;"}) + "</script:module>\n")
PY
out=$(mktemp)
trap 'rm -f "$out"' EXIT
BENCH_FOLDER=$(cd "$1" && pwd) BENCH_FIND=$2 BENCH_REPLACE=$3 BENCH_OUT=$out \
    soffice --headless --norestore --nologo "-env:UserInstallation=file://$profile" \
    "macro:///Standard.Module1.Main" >/dev/null 2>&1
cat "$out"
