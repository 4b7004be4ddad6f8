#!/usr/bin/env bash
# Installs whichever of the named Debian packages are missing: as root directly, otherwise
# through sudo. Where neither works it prints the exact line to run as root and fails, and
# says to run the command again afterwards.
# Usage: install-packages.sh COMMAND PACKAGE...   (COMMAND: what to run again, e.g. ./play.sh)
set -euo pipefail

again=$1
shift
missing=()
for package in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

install=(apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}")
ask_for_root() {
  echo "The Lamevo needs these Debian packages: ${missing[*]}" >&2
  echo "Please run this line as root (for example after 'su -'):" >&2
  echo "  apt-get update && ${install[*]}" >&2
  echo "Then run $again again." >&2
  exit 1
}

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
# sudo is worth a try where it needs no password, or where there is a terminal to type one.
elif command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || [ -t 0 ]; }; then
  as_root=(sudo)
else
  ask_for_root
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq || ask_for_root
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}" -qq || ask_for_root
