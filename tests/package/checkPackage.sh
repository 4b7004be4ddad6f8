#!/usr/bin/env bash
# Checks the Debian package as a player's system meets it: Depends worked out from the game's
# libraries, every file in Debian's places for games, and no complaint from lintian,
# desktop-file-validate or appstreamcli; then, unpacked into a temporary folder, its launcher
# started from elsewhere greets the players and prints the first scoreboard in a window.
# Usage: checkPackage.sh <lamevo_VERSION_ARCH.deb>
set -uo pipefail
deb=$1
tests=$(cd "$(dirname "$0")/.." && pwd)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

depends=$(dpkg-deb -f "$deb" Depends)
for library in 'libc6 (>= ' 'libstdc++6 (>= ' libglut libglu libsdl2 libenet7 libminiupnpc17 libnatpmp1; do
    [[ $depends == *"$library"* ]] || fail "Depends names no $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "the section is not games"

expected_files=$(sort <<'END'
./lib/systemd/system/lamevo-meet.service
./usr/games/lamevo
./usr/games/lamevo-meet
./usr/lib/games/lamevo/lamevo
./usr/share/applications/lamevo.desktop
./usr/share/doc/lamevo/changelog.gz
./usr/share/doc/lamevo/copyright
./usr/share/games/lamevo/leftEngarde.bmp
./usr/share/games/lamevo/leftLunge.bmp
./usr/share/games/lamevo/leftParry.bmp
./usr/share/games/lamevo/rightEngarde.bmp
./usr/share/games/lamevo/rightLunge.bmp
./usr/share/games/lamevo/rightParry.bmp
./usr/share/icons/hicolor/32x32/apps/lamevo.png
./usr/share/icons/hicolor/48x48/apps/lamevo.png
./usr/share/icons/hicolor/64x64/apps/lamevo.png
./usr/share/icons/hicolor/128x128/apps/lamevo.png
./usr/share/icons/hicolor/256x256/apps/lamevo.png
./usr/share/man/man6/lamevo-meet.6.gz
./usr/share/man/man6/lamevo.6.gz
./usr/share/metainfo/org.example.lamevo.metainfo.xml
END
)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$files" = "$expected_files" ] ||
    fail "the files differ (< expected, > packed):"$'\n'"$(diff <(echo "$expected_files") <(echo "$files"))"

lintian --fail-on error,warning "$deb" || fail "lintian"
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/lamevo.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli"

cd "$unpacked" && "$tests/withXvfb.sh" python3 "$tests/cli/driveLamevo.py" \
    "$unpacked/usr/games/lamevo" poolBout || fail "the unpacked launcher"
[ "$failures" -eq 0 ] && echo "package checked: $(basename "$deb")"
