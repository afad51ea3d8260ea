#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the full build, then
# the engine tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600)
BUILD_DIR=build-asan ./scripts/build.sh -DVANTREL_ENGINE_ONLY=ON -DVANTREL_SANITIZE=ON
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$(nproc)" --timeout 600 -L engine)
