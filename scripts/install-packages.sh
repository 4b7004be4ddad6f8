#!/usr/bin/env bash
# Installs whichever of the named Debian packages are missing: as root directly, otherwise
# through sudo. Where neither works it prints the exact line to run as root and fails, and
# says to run the command again afterwards. Where apt-get itself fails (no network, a package
# it cannot find, a full disk), its own message stands and this says how to retry.
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
# sudo is worth a try where it needs no password, or where there is a terminal to type one;
# asking for it first tells a refused sudo apart from a failing apt-get.
elif command -v sudo >/dev/null 2>&1 && { sudo -n true 2>/dev/null || { [ -t 0 ] && sudo -v; }; }; then
  as_root=(sudo)
else
  ask_for_root
fi

installing_failed() {
  echo "Installing the Debian packages ${missing[*]} failed: apt-get says why above." >&2
  echo "Put that right (the network, the package sources, the free disk space) and run $again" \
    "again, or retry by hand:" >&2
  echo "  ${as_root[*]:+${as_root[*]} }apt-get update && ${as_root[*]:+${as_root[*]} }${install[*]}" >&2
  exit 1
}

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq || installing_failed
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}" -qq || installing_failed
