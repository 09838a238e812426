#!/usr/bin/env bash
# Installs every dependency (Debian 12), builds the programs and starts the
# desktop program. --no-launch only installs and builds.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
if [ "${1:-}" = "--no-launch" ]; then
  exit 0
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/velloran-kik-transfer
fi
echo "Built. No display is available here: run build/src/velloran-kik-transfer on a desktop,"
echo "or use the command-line tool build/src/velloran-kik --help."
