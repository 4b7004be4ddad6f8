#!/usr/bin/env bash
# Runs a command with DISPLAY pointing at a virtual screen of its own (1920x1080, 24 bits),
# started for it and stopped after it, so tests that need a window never touch a real one.
# Display numbers are drawn at random, far from the low ones Xvfb picks by itself: a number
# another test's screen has just given up can come back unreachable, as the old server takes
# its socket with it on the way out. A number in use, or a screen that takes no connections,
# is replaced by another.
set -u
display_file=$(mktemp)
xvfb_pid=
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -f "$display_file"' EXIT

start_screen() {
  : >"$display_file"
  Xvfb ":$1" -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$display_file" \
    >/dev/null 2>&1 &
  xvfb_pid=$!
  # Xvfb writes the number once it listens, or ends at once when the number is taken.
  while [ ! -s "$display_file" ] && kill -0 "$xvfb_pid" 2>/dev/null; do
    sleep 0.05
  done
  [ -s "$display_file" ] && DISPLAY=":$1" xdpyinfo >/dev/null 2>&1
}

for _ in $(seq 1 10); do
  number=$((1000 + RANDOM % 59000))
  if start_screen "$number"; then
    DISPLAY=":$number" "$@"
    exit
  fi
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
done
echo "withXvfb: no virtual screen would start and take connections" >&2
exit 1
