#!/usr/bin/env bash
# Runs a command with DISPLAY pointing at a virtual screen of its own (1920x1080, 24 bits),
# started for it and stopped after it, so tests that need a window never touch a real one.
# A display number just given up by another test's screen can come back unreachable (the old
# server takes its socket with it as it goes); such a screen is replaced.
set -u
display_file=$(mktemp)
xvfb_pid=
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -f "$display_file"' EXIT

start_screen() {
  : >"$display_file"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 400); do
    [ -s "$display_file" ] && break
    sleep 0.05
  done
  [ -s "$display_file" ] && DISPLAY=":$(head -n 1 "$display_file")" xdpyinfo >/dev/null 2>&1
}

for _ in 1 2 3; do
  if start_screen; then
    DISPLAY=":$(head -n 1 "$display_file")" "$@"
    exit
  fi
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
done
echo "withXvfb: no virtual screen would start and take connections" >&2
exit 1
