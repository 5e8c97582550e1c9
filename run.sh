#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/deps.sh"
VZ_CMAKE_ARGS="-DVZ_TESTS=OFF -DVZ_BENCH=OFF ${VZ_CMAKE_ARGS:-}" VZ_BUILD_DIR="$top/build-run" "$top/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  echo "Start it under a virtual display instead:  xvfb-run ./run.sh" >&2
  exit 1
fi
exec "$top/build-run/app/vidazorov" "$@"
