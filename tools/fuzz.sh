#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer for a chosen time.
#
#   tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   tools/fuzz.sh --list
#
# TARGET is one of the names in tests/fuzz/CMakeLists.txt (engine_dbx,
# engine_mbx, subject, settings, ...). The first run configures a clang build
# with VANTREL_FUZZ in build-fuzz/ ($FUZZ_BUILD_DIR) and builds only the
# target. The corpus lives in fuzz-corpus/TARGET ($FUZZ_CORPUS_DIR), seeded
# from the target's own seeds; findings are written to fuzz-findings/.
# Replay a finding with build/tests/fuzz/TARGET_replay FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${FUZZ_BUILD_DIR:-build-fuzz}"
if [ "${1:-}" = "--list" ]; then
  sed -n 's/^ *vantrel_fuzz_target(\([a-z_]*\).*/\1/p' tests/fuzz/CMakeLists.txt
  exit 0
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options...] | --list" >&2
  exit 2
fi
target="$1"; seconds="$2"; shift 2
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON >/dev/null
fi
# Runs started together share the build folder: one builds at a time.
flock "$build/.fuzz-build.lock" cmake --build "$build" --target "${target}_fuzz" "${target}_replay" -j"${FUZZ_JOBS:-2}"
corpus="${FUZZ_CORPUS_DIR:-fuzz-corpus}/$target"
findings="fuzz-findings/$target"
mkdir -p "$corpus" "$findings"
if [ -z "$(ls -A "$corpus")" ]; then
  "$build/tests/fuzz/${target}_replay" --write-seeds "$corpus"
fi
# Each input makes and removes folders and files: keep them in memory, in a
# folder of this run's own ($FUZZ_TMPDIR chooses another parent).
parent="${FUZZ_TMPDIR:-/dev/shm}"
[ -d "$parent" ] || parent="${TMPDIR:-/tmp}"
run_tmp="$(mktemp -d "$parent/vantrel-fuzz.XXXXXX")"
trap 'rm -rf "$run_tmp"' EXIT
# Inputs up to 64 KiB: big enough for stores with several messages and for
# subject lines that cross the reader's pieces, small enough to stay fast.
TMPDIR="$run_tmp" "$build/tests/fuzz/${target}_fuzz" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "$@"
