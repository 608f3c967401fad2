#!/usr/bin/env bash
# Installs what Vidorel needs, builds it with its tests, and runs the whole suite.
# Ends with CTest's summary line; the exit status is CTest's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
exec ctest --output-on-failure -j "$(nproc)" --timeout 300
