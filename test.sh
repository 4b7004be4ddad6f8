#!/usr/bin/env bash
# Sets up and runs every test of The Lamevo: the unit tests, the same tests again under the
# address and undefined-behaviour sanitizers, and the tests that drive the real game in a
# real window on a virtual screen of their own.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/install-packages.sh "${GAME_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
jobs=$(nproc)

cmake --preset default -DLAMEVO_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

cmake --preset asan -DLAMEVO_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
