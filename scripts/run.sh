#!/usr/bin/env bash
# The main job: builds kestrum.exe and runs it under Wine in the build tree's
# private prefix, with the sample add-in registered there as
# "Pexlo.PowerPoint.Addin" (pass --without-addin to run as on a machine
# without the add-in). The log lands in build/run/PexloKestrumLogs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/prepare-prefix.sh" "$build" "$@"
export WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/wine-prefix}"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT

mkdir -p "$build/run"
cd "$build/run"
set +e
"$root/scripts/wine-exec" "$build/kestrum.exe"
status=$?
set -e
echo "kestrum.exe exited with status $status; log: $(ls -t "$build/run/PexloKestrumLogs/"*.log | head -n 1)"
