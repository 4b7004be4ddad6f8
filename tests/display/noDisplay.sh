#!/usr/bin/env bash
# With no display to open the game still answers its own options and refuses unknown ones;
# otherwise it says in one line that it needs a display and ends with status 1.
# Usage: noDisplay.sh <path to lamevo> <the game's version>
set -u
game=$1
version=$2
needs_display="The Lamevo needs a graphical display: none could be opened. Run it on a desktop, or set DISPLAY (for example DISPLAY=:0)."
try_help="; try 'lamevo --help' for the options."
keys="*Advance*d     k*Retreat*a     ;*Lunge*f     j*Parry*s     l*Recover*w     o*"
# what | DISPLAY (- for none) | arguments | status | standard output, standard error (patterns)
cases=(
    "no DISPLAY at all|-||1||$needs_display"
    "DISPLAY naming no screen|:65000||1||$needs_display"
    "the toolkit's options passed on|-|-iconic -display :65000 -sync|1||$needs_display"
    "--help|-|--help|0|Usage: lamevo *--help*--version*--host*--join*--no-router*--meet=SERVER*-display*-sync*status 2*${keys}status 3*leftEngarde.bmp*|"
    "--version|-|--version|0|The Lamevo $version|"
    "an unknown option|-|--bogus|2||lamevo: unknown option '--bogus'$try_help"
    "a value for an option without one|-|--help=x|2||lamevo: bad value in '--help=x'$try_help"
    "a stray word|-|--computer hard -mute|2||lamevo: unexpected word 'hard'$try_help"
    "a port out of range|-|--host=65536|2||lamevo: bad value in '--host=65536'$try_help"
    "two ways to fence at once|-|--join=here:1 --host|2||lamevo: choose one of --host, --join, --computer and --tournament$try_help"
    "a closed router without hosting|-|--join=here --no-router|2||lamevo: --no-router keeps the router closed for a host; add --host."
    "a value for --no-router|-|--host --no-router=1|2||lamevo: bad value in '--no-router=1'$try_help"
    "a meet server without a bout|-|--meet=example.org|2||lamevo: --meet finds a bout for --host or --join=CODE; add one."
    "an address for a room code|-|--join=10.0.0.1 --meet=example.org|2||lamevo: with --meet, --join takes the room code the host's console shows, such as --join=ACEFH."
    "a room code with a look-alike|-|--join=ACEF0 --meet=example.org|2||lamevo: with --meet, --join takes the room code the host's console shows, such as --join=ACEFH."
    "an empty meet server|-|--host --meet=|2||lamevo: bad value in '--meet='$try_help"
    "a word the toolkit does not have|-|-mute|2||lamevo: unknown option '-mute'$try_help"
    "results without a club night|-|--results=x.csv|2||lamevo: --results keeps a club night's results; add --tournament."
    "results given twice|-|--tournament --results=a.csv --results=b.csv|2||lamevo: --results given twice; a club night keeps one results file."
    "results that cannot be written|-|--tournament --results=/nonexistent/x.csv|1||The Lamevo cannot write the results to /nonexistent/x.csv: No such file or directory."
)
failures=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for row in "${cases[@]}"; do
    IFS='|' read -r what display arguments expected_status expected_out expected_err <<<"$row"
    environment=(env DISPLAY="$display")
    [ "$display" = - ] && environment=(env -u DISPLAY)
    # shellcheck disable=SC2086 # the arguments are words of their own
    printf 'Ann Bob 1 x\n' | "${environment[@]}" "$game" $arguments >"$out" 2>"$err"
    status=$?
    if [ "$status" -ne "$expected_status" ] || [[ $(cat "$out") != $expected_out ]] ||
        [[ $(cat "$err") != $expected_err ]] || [ "$(wc -l <"$err")" -gt 1 ]; then
        echo "FAIL $what: status $status, stdout '$(cat "$out")', stderr '$(cat "$err")'"
        failures=$((failures + 1))
    else
        echo "ok $what"
    fi
done
# An earlier night's results outlive a night that ends before its first bout is decided; a
# file nobody may write is refused before the first question, naming it.
folder=$(mktemp -d)
trap 'rm -f "$out" "$err"; rm -rf "$folder"' EXIT
printf 'last night\n' >"$folder/night.csv"
printf '3\n' | env -u DISPLAY "$game" --tournament --results="$folder/night.csv" >"$out" 2>"$err"
status=$?
if [ "$status" -ne 1 ] || [ "$(cat "$folder/night.csv")" != "last night" ]; then
    echo "FAIL results kept: status $status, file '$(cat "$folder/night.csv")'"
    failures=$((failures + 1))
fi
chmod a-w "$folder/night.csv"
ln -s night.csv "$folder/link.csv"
printf '3\n' | env -u DISPLAY "$game" --tournament --results="$folder/link.csv" >"$out" 2>"$err"
status=$?
if [ "$status" -ne 1 ] || [ -s "$out" ] ||
    [ "$(cat "$err")" != "The Lamevo cannot write the results to $folder/night.csv: Permission denied." ]; then
    echo "FAIL read-only results: status $status, stdout '$(cat "$out")', stderr '$(cat "$err")'"
    failures=$((failures + 1))
fi
echo "$((${#cases[@]} - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
