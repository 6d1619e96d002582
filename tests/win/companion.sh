#!/usr/bin/env bash
# The Windows companion under Wine against the Linux one: both index the same generated archive, and
# their dumps must hold the same rows; then a Cyrillic search and a Cyrillic application folder there.
# Usage: tests/win/companion.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
cd "$(dirname "$0")/../.."
linux=$(realpath "${1:-build}")
win=$(realpath "${2:-build-win}")
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
wine_run() { tools/wine-run.sh "$@"; }

# The walk takes issue folders in the order the file system gives them (hash order on ext4, name order
# under Wine), and an issue held twice lends its rows the topics of whichever copy comes first: every
# issue is kept once (the generator holds some in a second spelling: a .zip copy, another letter case,
# another zero padding).
"$linux/tools/genarchive" --out "$work/archive" --issues 60 --seed 7 2>/dev/null
declare -A seen
for entry in "$work"/archive/*/; do
  name=$(basename "$entry")
  key=$(echo "${name%.[zZ][iI][pP]}" | tr '[:upper:]' '[:lower:]' | sed -E 's/0*([0-9]+)$/\1/')
  if [ -n "${seen[$key]:-}" ]; then rm -rf "$entry"; else seen[$key]=1; fi
done
# Names kept as Windows-1251 bytes (an archive unpacked without converting them) are no names on Windows:
# Wine cannot show them, so those files go.
find "$work/archive" -depth -print0 |
  perl -0ne 'chomp; my ($name) = m{([^/]*)$}; print "$_\0" unless utf8::decode($name)' | xargs -0 -r rm -rf
# A row's topic also depends on the issues read before it, so both sides must walk in one order. Wine
# lists names in order, letter case ignored; tmpfs lists a folder's entries newest first, so a copy made there in reverse
# name order gives Linux the same walk.
shm=$(mktemp -d -p /dev/shm)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work" "$shm"' EXIT
mkdir "$shm/archive"
(cd "$work/archive" && ls -1A | LC_ALL=C sort -f -r) | while IFS= read -r name; do
  cp -a "$work/archive/$name" "$shm/archive/"
done
archive=$shm/archive

settings() { printf '[options]\r\ndbdir=%s\r\nkelvra GOLD=1\r\nkelvra Release=1\r\nkelvra=1\r\n' "$1"; }
mkdir -p "$work/linux" "$work/win"
settings "$archive" >"$work/linux/mvx.ini"
settings "$(winepath -w "$archive" 2>/dev/null)" >"$work/win/mvx.ini"

"$linux/Marovex/marovex-cli" --app-dir "$work/linux" init >/dev/null 2>&1
"$linux/Marovex/marovex-cli" --app-dir "$work/linux" index >/dev/null 2>&1
wine_run "$win/Marovex/marovex-cli.exe" --app-dir "$work/win" init >/dev/null 2>&1
wine_run "$win/Marovex/marovex-cli.exe" --app-dir "$work/win" index >/dev/null 2>&1
"$linux/Marovex/marovex-cli" --app-dir "$work/linux" dump --format csv >"$work/linux.csv"
wine_run "$win/Marovex/marovex-cli.exe" --app-dir "$work/win" dump --format csv >"$work/win.csv"
rows=$(($(wc -l <"$work/linux.csv") - 1))
[ "$rows" -gt 100 ] || { echo "the Linux companion indexed only $rows rows"; exit 1; }
failed=0
# Rows come in the order issues were read, which is the walk's: the same rows are asked for.
sort "$work/linux.csv" >"$work/linux.sorted"
sort "$work/win.csv" >"$work/win.sorted"
if cmp -s "$work/linux.sorted" "$work/win.sorted"; then
  echo "dumps equal: $rows rows"
else
  echo "the dumps differ ($rows rows on Linux):"
  diff "$work/linux.sorted" "$work/win.sorted" | grep '^[<>]' | head -20 || true
  failed=1
fi

# A Cyrillic word as the argument: the same rows are found on both sides, over titles and texts.
word="сервер"
"$linux/Marovex/marovex-cli" --app-dir "$work/linux" search --scope texts "$word" >"$work/linux.found" 2>"$work/linux.err"
wine_run "$win/Marovex/marovex-cli.exe" --app-dir "$work/win" search --scope texts "$word" >"$work/win.found" 2>"$work/win.err"
found=$(grep -o 'Found: [0-9]*' "$work/linux.err")
echo "search $word: Linux $found; Windows $(grep -o 'Found: [0-9]*' "$work/win.err" || echo nothing)"
[ "${found#Found: }" -gt 0 ] || { echo "the Linux companion found nothing"; exit 1; }
cmp -s <(sort "$work/linux.found") <(sort "$work/win.found") || { echo "the Cyrillic search found other rows"; failed=1; }

# A Cyrillic application folder.
cyr="$work/$(printf '\xd0\xbf\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0')" # "папка"
mkdir -p "$cyr"
wine_run "$win/Marovex/marovex-cli.exe" --app-dir "$(winepath -w "$cyr" 2>/dev/null)" init >/dev/null 2>&1 || true
if [ -f "$cyr/mvx.dat" ]; then
  echo "Cyrillic application folder: catalogue made"
else
  echo "no catalogue made in the Cyrillic application folder"
  failed=1
fi
exit "$failed"
