#!/usr/bin/env bash
# Builds the Debian package from a finished build, checks what it holds with the desktop's own
# validators, unpacks it into a scratch root and runs its command line there.
# usage: check_debian_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack"; }
debs=("$scratch"/out/tessaromandel_*.deb)
[ -f "${debs[0]}" ] || fail "no tessaromandel_*.deb"
deb=${debs[0]}
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/contents"
id=org.tessaromandel.Tessaromandel
for path in ./usr/bin/Tessaromandel ./usr/bin/tessaromandel-cli \
    ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/man/man1/tessaromandel-cli.1 \
    ./usr/share/bash-completion/completions/tessaromandel-cli \
    ./usr/share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/tessaromandel.png; do
    grep -qxF "$path" "$scratch/contents" || fail "package lacks $path"
done
# Nothing of the build's own (tests, static libraries, headers) is shipped.
if grep -vE '^\./usr/(bin/(Tessaromandel|tessaromandel-cli)|share/)|/$' "$scratch/contents"; then
    fail "unexpected files in the package"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt5widgets5 libzip4 libc6 qttranslations5-l10n; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
for line in 'Name=Tessaromandel' 'Categories=Office;' 'Icon=tessaromandel' 'Exec=Tessaromandel'; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done
grep -qP '^Name\[zh_CN\]=.*\p{Han}' "$desktop" || fail "no Chinese Name[zh_CN]"
grep -qP '^Comment\[zh_CN\]=.*\p{Han}' "$desktop" || fail "no Chinese Comment[zh_CN]"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate"
grep -q '<caption>' "$root/usr/share/metainfo/$id.metainfo.xml" || fail "no screenshot caption"

for size in 16 32 48 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/tessaromandel.png
    dimensions=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dimensions" = "${size}x${size}" ] || fail "icon $size is $dimensions"
done

manual=$(MANWIDTH=100 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/tessaromandel-cli.1" 2>"$scratch/man.err")
[ -s "$scratch/man.err" ] && { cat "$scratch/man.err" >&2; fail "man page warnings"; }
for word in SYNOPSIS replace replace-pairs header footer rename-sheets --find --replace \
    --list-only --find-file --replace-file --encoding --position --nth --open-reports --verbose \
    runs undo --log --no-undo manifest.jsonl \
    "EXIT STATUS" "REPORT FILES" EXAMPLES 无法打开修改的文件目录 包含内容并成功修改的文件目录 \
    不包含内容无修改的文件目录; do
    grep -qF -- "$word" <<<"$manual" || fail "manual page lacks $word"
done
for code in 0 1 2 3 4 5 6 7; do
    grep -qE "^ {7}$code\b" <<<"$manual" || fail "manual page lacks exit code $code"
done
bash -n "$root/usr/share/bash-completion/completions/tessaromandel-cli" || fail "completion syntax"

# The unpacked command line on a small folder.
cli=$root/usr/bin/tessaromandel-cli
help=$("$cli" --help) || fail "--help exited non-zero"
grep -qF "用法 Usage" <<<"$help" || fail "--help text"
books=$scratch/books
mkdir -p "$books"
if /usr/bin/python3 -c 'import openpyxl' 2>/dev/null; then
    /usr/bin/python3 "$source/tests/workbooks.py" make "$books/a.xlsx" '[["S1", ["old text"]]]'
    expected_changed=1
else
    expected_changed=0
fi
printf 'not a workbook' >"$books/broken.xlsx"
status=0
"$cli" replace "$books" --find old --replace new >"$scratch/run.out" 2>&1 || status=$?
cat "$scratch/run.out"
[ "$status" = 0 ] || fail "the run exited $status"
grep -qF "$books/broken.xlsx" "$books/无法打开修改的文件目录(文件格式有误).txt" ||
    fail "broken workbook not reported"
if [ "$expected_changed" = 1 ]; then
    grep -qF "$books/a.xlsx S1" "$books/包含内容并成功修改的文件目录.txt" || fail "change not reported"
    /usr/bin/python3 "$source/tests/workbooks.py" dump "$books/a.xlsx" | grep -q "new text" ||
        fail "workbook not changed"
fi
echo "package checked"
