#!/usr/bin/env bash
# Sets up, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh all
build="${VIRL_BUILD_DIR:-build}"
ctest --test-dir "$build" --output-on-failure -j2
