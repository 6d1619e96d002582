# Shared by the end-to-end scripts; sourced, not run.

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
