#!/usr/bin/env bash
# Three starts of the built application under a window manager (openbox) on a virtual X display, judged
# by screenshots and by what it writes to mvx.ini: the splash window shows its picture while the main
# window is made; bounds stored on a larger screen are brought onto this one, and kept as they were by a
# close without a move; the grid area above the pane comes back as high as it was stored; and all of it at
# QT_SCALE_FACTOR=2 as well. Usage: tests/e2e/screen.sh BUILD_DIR [SHOT_DIR]
set -euo pipefail
build=$(cd "${1:?usage: screen.sh BUILD_DIR [SHOT_DIR]}" && pwd)
shots=${2:-}
. "$(dirname "$0")/lib.sh"

"$build/tools/genarchive" --out "$work/archive" --issues 12 --seed 5 >/dev/null
mkdir -p "$app"
cp "$build/Marovex/marovex" "$build/Marovex/marovex-cli" "$app/"
cp -r "$build/Marovex/Locale" "$build/Marovex/Help" "$app/"
# Bounds from a larger screen: the window's right and bottom parts lie beyond this one's 1280x900.
stored=('WindowLeft=900' 'WindowTop=700' 'WindowWidth=1000' 'WindowHeight=697' 'Internal_browser_height=528')
printf '%s\r\n' '[options]' "dbdir=$work/archive" 'kelvra GOLD=1' 'kelvra Release=1' 'kelvra=1' \
  '[interface]' 'local=rus.lng' 'select_browser=1' 'WindowState=2' "${stored[@]}" >"$app/mvx.ini"
"$app/marovex-cli" --app-dir "$app" init >/dev/null
"$app/marovex-cli" --app-dir "$app" index 2>/dev/null

export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

# One start: the splash window is polled until the main window is there (every look must find its
# picture), then the window is looked at and closed with Alt+X, as the user leaves it.
start() {
  local scale=$1 name=$2 i w geo mean win=
  QT_SCALE_FACTOR=$scale "$app/marovex" >"$work/marovex.log" 2>&1 &
  pid=$!
  for i in $(seq 300); do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      # A window may be gone between the search and the look at it.
      geo=$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Geometry: //p') || continue
      [ "$geo" = "$((310 * scale))x$((233 * scale))" ] || continue
      # import can wait for ever on a window destroyed while it reads it.
      mean=$(timeout 2 import -window "$w" png:- 2>/dev/null | convert png:- -format '%[fx:mean]' info: 2>/dev/null) ||
        continue
      [ -n "$mean" ] || continue
      splash_seen=$((splash_seen + 1))
      awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }' || fail "$name: the splash window is black (mean $mean)"
    done
    win=$(xdotool search --onlyvisible --name '^Marovex v2\.0$' 2>/dev/null | head -n 1) || true
    [ -n "$win" ] && break
    sleep 0.05
  done
  [ -n "$win" ] || fail "$name: no main window"
  sleep 3
  shot "$name"
  # The whole frame on the screen: the client area within it, below the title bar.
  local x y width height
  read -r x y width height < <(xwininfo -id "$win" |
    awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF}
         END {print x, y, w, h}')
  [ "$x" -ge 0 ] && [ "$y" -gt 0 ] && [ $((x + width)) -le 1280 ] && [ $((y + height)) -le 900 ] ||
    fail "$name: the window lies at ${x},${y} ${width}x${height}, off the 1280x900 screen"
  xdotool windowfocus --sync "$win" key alt+x
  for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$name: Alt+X did not close the window"
  wait "$pid" || fail "$name: the application ended with status $?"
  pid=
  local kept
  for kept in "${stored[@]}"; do
    grep -q "^$kept"$'\r'"\$" "$app/mvx.ini" || fail "$name: a close without a move did not keep $kept"
  done
}

# The splash window stands for as long as the main window takes to be made, a second or less: a start may
# pass between two looks, but not all three.
splash_seen=0
echo "-- start at scale 1"
start 1 screen-1
echo "-- start again"
start 1 screen-2
echo "-- start at scale 2"
start 2 screen-2x
[ "$splash_seen" -gt 0 ] || fail "no splash window was seen in three starts"
echo "screen: every step passed ($splash_seen looks at the splash window)"
