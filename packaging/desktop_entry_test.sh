#!/usr/bin/env bash
# Opens a store the way a file manager does through the menu entry: the
# entry's Exec line with %f replaced by the store's path (one argument, even
# with blanks in it). The program must repair that store at once: every
# message of it appears in <store>_recovered/ while the program runs.
#
#   desktop_entry_test.sh ENTRY.desktop VANTREL VANTREL-STOREGEN
set -euo pipefail
entry="$1" vantrel="$2" storegen="$3"
scratch=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

exec_line=$(sed -n 's/^Exec=//p' "$entry")
read -r -a words <<<"$exec_line"
[ "${words[0]}" = Vantrel ] && [ "${words[*]:1}" = "%f" ] ||
  { echo "unexpected Exec line: $exec_line"; exit 1; }

mkdir -p "$scratch/My Mail"
store="$scratch/My Mail/Inbox.dbx"
"$storegen" --out "$store" --seed 5 --messages 6 >/dev/null

# First-run settings, except that the update check stays at home.
mkdir -p "$scratch/config/Vantrel"
printf '[Misc]\n"UpdateServer"=""\n' >"$scratch/config/Vantrel/settings.reg"

args=("$vantrel")
for w in "${words[@]:1}"; do
  [ "$w" = "%f" ] && args+=("$store") || args+=("$w")
done
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" "${args[@]}" &
pid=$!

# The repair ends with the report window, which stays open: the program runs
# on until it is stopped here.
out="$scratch/My Mail/Inbox_recovered"
for _ in $(seq 1 300); do
  count=$({ find "$out" -name '*.eml' 2>/dev/null || true; } | wc -l)
  [ "$count" -eq 6 ] && break
  kill -0 "$pid" 2>/dev/null || { echo "Vantrel ended before the repair was done"; exit 1; }
  sleep 0.1
done
[ "$count" -eq 6 ] || { echo "recovered $count of 6 messages into $out"; exit 1; }
kill -0 "$pid" 2>/dev/null || { echo "Vantrel ended after the repair"; exit 1; }
echo "Vantrel repaired the store named by %f: 6 messages in $out"
