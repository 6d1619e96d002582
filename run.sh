#!/usr/bin/env bash
# Builds the application, prepares a demo application folder build/demo/ indexed over a generated demo
# archive build/demo-archive/, and starts the application from it. The demo folder keeps its catalogue,
# settings and history between runs; delete it to start afresh.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
marovex_ensure_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

archive=$PWD/build/demo-archive
if [ ! -f "$archive.done" ]; then
  rm -rf "$archive"
  build/tools/genarchive --out "$archive" --issues 50 --seed 7
  touch "$archive.done"
fi

app=build/demo
mkdir -p "$app"
cp -f build/Marovex/marovex build/Marovex/marovex-cli "$app/"
cp -rf build/Marovex/Locale build/Marovex/Help "$app/"
if [ ! -f "$app/mvx.ini" ]; then
  # The archive, and the grid's column widths of a first start (a settings file without them would give
  # every column the same share of the width).
  printf '[options]\r\ndbdir=%s\r\nkelvra GOLD=1\r\nkelvra Release=1\r\nkelvra=1\r\n[interface]\r\ncol_width_Izb=39\r\ncol_width_Type=116\r\ncol_width_Number=45\r\ncol_width_Tem=150\r\ncol_width_Statia=460\r\n' "$archive" >"$app/mvx.ini"
fi
"$app/marovex-cli" init --if-missing
"$app/marovex-cli" index

exec "$app/marovex" "$@"
