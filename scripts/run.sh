#!/usr/bin/env bash
# Installs what Vidorel needs, builds it and starts it. Without a display (a server, a container)
# the window opens on a virtual X server so the program still starts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display found; starting on a virtual X server (xvfb-run)"
    exec xvfb-run -a "$BUILD_DIR/app/vidorel" "$@"
fi
exec "$BUILD_DIR/app/vidorel" "$@"
