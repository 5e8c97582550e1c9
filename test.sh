#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/deps.sh"
"$top/scripts/cups-pdf-printer.sh" || true
"$top/scripts/build.sh"
build=${VZ_BUILD_DIR:-$top/build}
cd "$build"
ctest --output-on-failure -j "$(nproc)" ${VZ_CTEST_ARGS:-}
