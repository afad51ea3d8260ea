#!/bin/sh
# Fails unless the program lists libpyxol.so as a needed library (it is
# bound at load time) and starts: it must still be running after a moment,
# which rules out a loader failure or an early crash.
prog="$1"
if ! readelf -d "$prog" | grep -q 'NEEDED.*\[libpyxol\.so'; then
  echo "$prog does not list libpyxol.so as NEEDED:"; readelf -d "$prog" | grep NEEDED; exit 1
fi
if ! nm -D --undefined-only "$prog" | grep -qw RepairSourceFile; then
  echo "$prog does not import RepairSourceFile"; exit 1
fi
# Settings of its own, with the update server switched off: the program must
# neither touch the user's settings nor look for updates on the network.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
mkdir -p "$config/$(basename "$prog")"
printf '[Misc]\n"UpdateServer"=""\n' >"$config/$(basename "$prog")/settings.reg"
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen timeout -s TERM 3 "$prog"
rc=$?
if [ "$rc" -ne 124 ]; then
  echo "$prog ended on its own with code $rc instead of running"; exit 1
fi
echo "libpyxol.so is NEEDED, RepairSourceFile imported, and the program starts"
