#!/usr/bin/env bash
# Started where no display can be opened, the game says so in one line on standard error and
# ends with status 1 before it asks anything. Usage: noDisplay.sh <path to lamevo>
set -u
game=$1
expected="The Lamevo needs a graphical display: none could be opened. Run it on a desktop, or set DISPLAY (for example DISPLAY=:0)."
failures=0
check() {
    local what=$1
    shift
    local out err status
    out=$(mktemp)
    err=$(mktemp)
    printf 'Ann Bob 1 x\n' | "$@" "$game" >"$out" 2>"$err"
    status=$?
    if [ "$status" -ne 1 ] || [ -s "$out" ] || [ "$(cat "$err")" != "$expected" ] ||
        [ "$(wc -l <"$err")" -ne 1 ]; then
        echo "FAIL $what: status $status, stdout '$(cat "$out")', stderr '$(cat "$err")'"
        failures=$((failures + 1))
    else
        echo "ok $what"
    fi
    rm -f "$out" "$err"
}
check "no DISPLAY at all" env -u DISPLAY
check "DISPLAY naming no screen" env DISPLAY=:65000
echo "$((2 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
