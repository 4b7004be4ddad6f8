#!/usr/bin/env bash
# Runs a command with DISPLAY pointing at a virtual screen of its own (1920x1080, 24 bits),
# started for it and stopped after it, so tests that need a window never touch a real one.
set -u
display_number=$(( 90 + RANDOM % 800 ))
while [ -e "/tmp/.X${display_number}-lock" ] || [ -e "/tmp/.X11-unix/X${display_number}" ]; do
  display_number=$(( display_number + 1 ))
done
Xvfb ":${display_number}" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display_number}" ] && break
  sleep 0.05
done
DISPLAY=":${display_number}" "$@"
