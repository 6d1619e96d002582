#!/usr/bin/env bash
# Runs a Windows program under Wine as if it were native: a prefix of its own made once (quietly, without
# Mono or Gecko prompts), Wine's chatter off, the program's exit code passed back.
set -euo pipefail
export WINEPREFIX=${MAROVEX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/marovex/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
exec wine "$@"
