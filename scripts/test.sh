#!/usr/bin/env bash
# Builds everything and runs every test: unit tests and end-to-end runs of the
# real kestrum.exe, all under Wine in the build tree's private prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/prepare-prefix.sh" "$build"
export WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/wine-prefix}"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT

cd "$build"
ctest --output-on-failure -j "$(nproc)"
