#!/usr/bin/env bash
# Renders every window and page of the desktop program to PNG under a
# headless X server: the main window's four pages and two option sub-pages,
# the report window after a real repair of a generated store, the search
# window collapsed and expanded with results, and the update windows.
#
#   tools/screenshots.sh [OUTDIR]      default: docs/screenshots
#
# The pictures at 100% scale go to OUTDIR (the README shows them); those at
# 200% (QT_SCALE_FACTOR=2) go to $BUILD_DIR/screenshots-2x, for checking by
# eye that nothing is cut or overlaps when the desktop scales.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"
build="${BUILD_DIR:-build}"

"$(dirname "$0")/screenshots-setup.sh"
cmake --build "$build" --target vantrel-screenshots >/dev/null
tool="$build/tools/screenshots/vantrel-screenshots"

big="$build/screenshots-2x"
mkdir -p "$out" "$big"
# No desktop theme and a fixed font resolution: the same pictures on every
# machine that has the same fonts.
export QT_QPA_PLATFORMTHEME=
export QT_FONT_DPI=96
xvfb-run -a -s "-screen 0 1920x1200x24" env QT_SCALE_FACTOR=1 "$tool" "$out"
xvfb-run -a -s "-screen 0 3840x2400x24" env QT_SCALE_FACTOR=2 "$tool" "$big"
