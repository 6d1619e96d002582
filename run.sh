#!/usr/bin/env bash
# Builds the application and starts it from its portable application folder build/Marovex/.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
marovex_ensure_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec build/Marovex/marovex "$@"
