#!/usr/bin/env bash
# Installs what tools/screenshots.sh needs beyond the build: a headless X
# server and a font. Kept apart from scripts/setup.sh so that CI stays lean.
# Quick when they are already there. Run as root (or through sudo).
set -euo pipefail
packages=(xvfb xauth fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
