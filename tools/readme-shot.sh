#!/usr/bin/env bash
# Makes docs/main-window.png, the README's picture: the demo catalogue in the main window with an article
# open in the pane and the search text highlighted. Needs the build (./run.sh makes it and the demo) and
# Xvfb (apt-get install xvfb xauth).
set -euo pipefail
cd "$(dirname "$0")/.."
app=build/shot-app
rm -rf "$app"
mkdir -p "$app"
cp -r build/Marovex/Locale build/Marovex/Help "$app/"
archive=$PWD/build/demo-archive
[ -f "$archive.done" ] || { rm -rf "$archive"; build/tools/genarchive --out "$archive" --issues 50 --seed 7; touch "$archive.done"; }
printf '[options]\r\ndbdir=%s\r\n[interface]\r\nlocal=rus.lng\r\nselect_browser=1\r\nInternal_browser_height=170\r\ncolor_htm_fon=$0000FFFF\r\ncol_width_Izb=30\r\ncol_width_Type=110\r\ncol_width_Number=55\r\ncol_width_Tem=150\r\ncol_width_Statia=500\r\n' "$archive" >"$app/mvx.ini"
build/Marovex/marovex-cli --app-dir "$app" init
build/Marovex/marovex-cli --app-dir "$app" index >/dev/null 2>&1
mkdir -p docs
QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" \
  xvfb-run -a -s "-screen 0 1220x800x24" build/tools/readme_shot "$app" "${1:-процессор}" docs/main-window.png
echo "docs/main-window.png written"
