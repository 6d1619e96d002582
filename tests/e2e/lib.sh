# Shared by the end-to-end scripts, sourced right after each has read its arguments (`build`, `shots`).

me=$(basename "$0" .sh)

# Under a display of its own: Xvfb is started here unless one is given.
if [ -z "${MAROVEX_E2E_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x900x24 -nolisten tcp" env MAROVEX_E2E_DISPLAY=1 "$0" "$@"
fi

work=$(mktemp -d)
app=$work/app
# The application (pid) and a window manager (wm), when a script started them.
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "-- $*"; }
shot() {
  if [ -n "$shots" ]; then mkdir -p "$shots" && import -window root "$shots/$1.png"; fi
}
fail() {
  echo "$me: $*" >&2
  [ -n "$shots" ] && shot "failure"
  exit 1
}

# The first window of that name within the given seconds. The search is tried again rather than kept waiting
# (xdotool search --sync), as a window closed while it is looked at (the splash window) ends that search
# with an X error.
find_window() {
  local i found
  for i in $(seq $(($2 * 5))); do
    found=$(xdotool search --name "$1" 2>/dev/null | head -n 1) || true
    [ -n "$found" ] && echo "$found" && return 0
    sleep 0.2
  done
  return 1
}

# Alt+X in the main window (the script's `focus` and `key`), and the application ends, well.
close_by_alt_x() {
  focus
  key alt+x
  for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "Alt+X did not close the window"
  wait "$pid" || fail "the application ended with status $?"
  pid=
}
