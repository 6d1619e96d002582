#!/usr/bin/env bash
# The built application used with the keyboard alone, on a virtual X display: real key presses (xdotool), no
# clicks, so it runs as it is at any QT_SCALE_FACTOR. Judged by what the application writes (search.dat,
# mvx.ini) and by the windows it shows. Usage: tests/e2e/keyboard.sh BUILD_DIR [SHOT_DIR]
set -euo pipefail
build=$(cd "${1:?usage: keyboard.sh BUILD_DIR [SHOT_DIR]}" && pwd)
shots=${2:-}
. "$(dirname "$0")/lib.sh"

# --- An archive and an application folder, indexed by the companion ------------------------------------
"$build/tools/genarchive" --out "$work/archive" --issues 6 --seed 5 >/dev/null
mkdir -p "$app"
cp "$build/Marovex/marovex" "$build/Marovex/marovex-cli" "$app/"
cp -r "$build/Marovex/Locale" "$build/Marovex/Help" "$app/"
# The desktop's default program chosen, the current row kept at the close, a window wide enough for the
# search box, and an earlier search that begins with the text typed below.
printf '%s\r\n' '[options]' "dbdir=$work/archive" 'kelvra GOLD=1' 'kelvra Release=1' 'kelvra=1' \
  '[interface]' 'local=rus.lng' 'select_browser=4' 'state_save=1' 'WindowState=2' 'WindowLeft=40' \
  'WindowTop=30' 'WindowWidth=900' 'WindowHeight=600' >"$app/mvx.ini"
printf 'Quaker\r\n' >"$app/search.dat"
"$app/marovex-cli" --app-dir "$app" init >/dev/null
"$app/marovex-cli" --app-dir "$app" index 2>/dev/null

# --- The window ----------------------------------------------------------------------------------------
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
unset XDG_CACHE_HOME XDG_DATA_HOME XDG_CONFIG_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# A desktop with no program for any file, as xdg-open reports it.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "xdg-open: no method available for opening '"'"'$1'"'"'" >&2\nexit 3\n' >"$work/bin/xdg-open"
chmod 755 "$work/bin/xdg-open"
PATH=$work/bin:$PATH "$app/marovex" >"$work/marovex.log" 2>&1 &
pid=$!
win=$(find_window '^Marovex v2\.0$' 30) || fail "no main window"
sleep 1

focus() { xdotool windowfocus --sync "$win"; }
key() { xdotool key --delay 80 "$@"; sleep 0.4; }
type_text() { xdotool type --delay 60 "$1"; sleep 0.4; }
active() { xdotool getactivewindow 2>/dev/null || xdotool getwindowfocus; }
# The window that holds the keyboard now (a dialog or a message box) gets the key.
wait_for_other_window() {
  local i
  for i in $(seq 50); do
    [ "$(active)" != "$win" ] && return 0
    sleep 0.1
  done
  return 1
}
# Answers the result of a search with its Yes, after a look at it.
search_result() {
  wait_for_other_window || fail "$1 showed no result"
  shot "$2"
  key Return
  focus
}

step "Ctrl+L, a text that begins an earlier search, Enter"
focus
key ctrl+l
type_text Quak
shot 01-suggestions
key Return
search_result "Enter in the search box" 02-result

step "Ctrl+K from the grid, and again in the box (where it must not cut the line)"
key ctrl+k End ctrl+k
type_text war
key Return
search_result "the second search" 03-result

step "Tab from the grid: to the search box, the next control (the pane is off), its text selected"
key Tab
type_text peace
key Return
search_result "a search after Tab" 04-result

step "Shift+Tab from the grid's first cell"
key ctrl+Home Home shift+Tab
shot 05-shift-tab

step "F1 where the desktop has no program for the help"
key F1
help=$(find_window '^Marovex — справка / help$' 20) || fail "F1 showed no help"
sleep 2
shot 06-help
xdotool windowfocus --sync "$help"
key Escape
for i in $(seq 30); do find_window '^Marovex — справка' 1 >/dev/null || break; sleep 0.1; done
find_window '^Marovex — справка' 1 >/dev/null && fail "Escape did not close the help"

step "Alt+X"
close_by_alt_x

# --- What it wrote -------------------------------------------------------------------------------------
step "judging the files"
history=$(head -n 4 "$app/search.dat" | tr -d '\r' | paste -sd ' ')
[ "$history" = "peace war Quak Quaker" ] || fail "the searches made were '$history' (newest first)"
grep -q $'^text_search=peace\r$' "$app/mvx.ini" || fail "the last search was not remembered"
# The first row stayed current (kept as 5, or 4 for a favourite): Shift+Tab left the grid, not to its last row.
rows=$("$app/marovex-cli" --app-dir "$app" dump --order view)
[[ "${rows%%$'\n'*}" =~ \"Izb\":[45], ]] || fail "Shift+Tab on the first cell moved the current row"
echo "keyboard: every step passed"
