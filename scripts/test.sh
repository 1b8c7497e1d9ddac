#!/usr/bin/env bash
# Builds everything and runs every test: unit tests and end-to-end runs of both
# real editions, all under Wine in the build tree's private prefix. Where this
# machine cannot run 32-bit programs, the kestrum32.exe entries show as skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
export WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/wine-prefix}"
# shellcheck source=wine-common.sh
source "$root/scripts/wine-common.sh"  # finds out once whether 32-bit programs run
"$root/scripts/prepare-prefix.sh" "$build"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT

cd "$build"
ctest --output-on-failure -j "$(nproc)"
