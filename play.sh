#!/usr/bin/env bash
# Sets up and starts The Lamevo: installs what is missing, builds the game, and runs it in
# the folder that holds the six pose pictures, which it reads by their bare names.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
scripts/install-packages.sh ./play.sh "${GAME_PACKAGES[@]}"
echo "Building The Lamevo, about a minute the first time…"
cmake --preset game >/dev/null
cmake --build --preset game -j "$(nproc)"
cd assets
exec ../build/game/src/display/lamevo "$@"
