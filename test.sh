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
# Every reader fuzzed for a short, fixed time in a clang build of its own (VZ_SKIP_FUZZ=1 skips
# it, for a pass that has just run the same step).
if [ -z "${VZ_SKIP_FUZZ:-}" ]; then
  VZ_FUZZ_BUILD_DIR="${VZ_FUZZ_BUILD_DIR:-$build-fuzz}" "$top/scripts/fuzz.sh" --check "${VZ_FUZZ_SECONDS:-10}"
fi
