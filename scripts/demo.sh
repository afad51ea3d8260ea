#!/usr/bin/env bash
# The main job: install, build, make damaged sample stores with the project's
# own generator and repair them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
echo "Built. (The sample repair is wired in as the engine lands.)"
