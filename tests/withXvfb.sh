#!/usr/bin/env bash
# Runs a command with DISPLAY pointing at a virtual screen of its own (1920x1080, 24 bits),
# started for it and stopped after it, so tests that need a window never touch a real one.
# It never resets (an X server resets when its last client leaves, and a client that comes
# during the reset finds no display).
set -u
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 1 200); do
  [ -s "$display_file" ] && break
  sleep 0.05
done
if [ ! -s "$display_file" ]; then
  echo "withXvfb: the virtual screen did not start" >&2
  exit 1
fi
DISPLAY=":$(head -n 1 "$display_file")" "$@"
