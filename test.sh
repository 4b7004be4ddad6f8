#!/usr/bin/env bash
# Sets up and runs every test of The Lamevo: the unit tests and the tests that drive the real
# game in a real window on a virtual screen of their own; the Debian package, built and checked
# as a player would install it; then the unit tests again, and one whole bout in the window,
# with the game built under the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/install-packages.sh ./test.sh "${GAME_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
jobs=$(nproc)

cmake --preset default -DLAMEVO_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

cmake --preset game >/dev/null
cmake --build --preset game -j "$jobs"
rm -f build/game/lamevo_*.deb
cpack --preset deb >/dev/null
tests/package/checkPackage.sh build/game/lamevo_*.deb

cmake --preset asan -DLAMEVO_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -LE window
ctest --preset asan -R '^window[.]boutTranscript$'
