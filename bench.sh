#!/usr/bin/env bash
# Builds the benchmark programs in release mode and runs each; every figure is printed with its target.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
marovex_ensure_packages

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMAROVEX_GUI=ON -DMAROVEX_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)"
for b in build-bench/bench/*_bench; do
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b"
done
