#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks that
# both programs start from there with the libraries the package ships.
set -euo pipefail
build="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/pkg" >/dev/null)
deb=$(ls "$scratch"/pkg/vantrel_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends):'

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/Vantrel usr/bin/vantrel-cli usr/lib/vantrel/libpyxol.so \
         usr/share/vantrel/manual.html usr/share/applications/vantrel.desktop \
         usr/share/mime/packages/vantrel.xml usr/share/icons/hicolor/scalable/apps/vantrel.svg \
         usr/share/metainfo/io.github.vantrel.Vantrel.metainfo.xml; do
  [ -e "$root/$f" ] || { echo "missing from the package: $f"; exit 1; }
done

# Every library the programs need is found: the engine through the run path.
# (ldd's output is taken whole first: grep -q ending the pipe early would make
# ldd fail with SIGPIPE under pipefail.)
for exe in Vantrel vantrel-cli; do
  libs=$(ldd "$root/usr/bin/$exe")
  if grep -q 'not found' <<<"$libs"; then
    echo "$libs"; exit 1
  fi
  grep -qF "$root/usr/bin/../lib/vantrel/libpyxol.so" <<<"$libs" ||
    { echo "$exe does not load the packaged libpyxol.so"; echo "$libs"; exit 1; }
done

"$root/usr/bin/vantrel-cli" --version

# The desktop program has no switch that ends it without a window; it must
# start and keep running until it is told to end.
set +e
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" timeout 5 "$root/usr/bin/Vantrel"
rc=$?
set -e
[ "$rc" -eq 124 ] || { echo "Vantrel ended on its own with status $rc"; exit 1; }
echo "Vantrel started and ran until stopped"
