#!/usr/bin/env bash
# Configures and builds into $VZ_BUILD_DIR (default build/). Extra CMake options come from $VZ_CMAKE_ARGS.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VZ_BUILD_DIR:-$top/build}
launcher=""
if command -v ccache >/dev/null; then
  # Paths are taken relative to the checkout, so that several checkouts share one cache.
  export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=1
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${VZ_BUILD_TYPE:-RelWithDebInfo} $launcher ${VZ_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
