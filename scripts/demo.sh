#!/usr/bin/env bash
# The main job: install what is needed, build, make a damaged sample store of
# each kind with the project's own generator, repair both with vantrel-cli and
# show the log and the report of recovered messages.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
build="${BUILD_DIR:-build}"
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"

echo "== Generating damaged sample stores in $demo"
# OE 5/6 folder: interleaved and looping chains, a smashed block header,
# garbage between segments and a file cut off inside its last message.
"$build/tools/vantrel-storegen" --out "$demo/Inbox.dbx" --kind dbx --seed 2024 --messages 12 \
  --damage interleaved,loop,smashed-header,garbage:4096,truncate --manifest "$demo/Inbox.dbx.json"
# OE 4 folder: a record with a bad length, garbage between records and a file
# cut off inside its last message.
"$build/tools/vantrel-storegen" --out "$demo/Sent Items.mbx" --kind mbx --seed 2024 --messages 8 \
  --damage mbx-bad-length,mbx-garbage:2048,mbx-truncate --manifest "$demo/Sent Items.mbx.json"

status=0
for store in "$demo/Inbox.dbx" "$demo/Sent Items.mbx"; do
  echo
  echo "== Repairing $store"
  "$build/cli/vantrel-cli" "$store" || status=$?
done

echo
echo "== Recovered messages"
find "$demo" -name '*.eml' | sort
exit "$status"
