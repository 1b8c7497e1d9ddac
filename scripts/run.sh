#!/usr/bin/env bash
# The main job: builds kestrum.exe and runs it under Wine in the build tree's
# private prefix, with the sample add-in registered there as
# "Pexlo.PowerPoint.Addin". The log lands in build/run/PexloKestrumLogs/.
#   --without-addin   as on a machine without the add-in
#   --managed         the sample registered as a .NET add-in is; the stand-in
#                     runtime then shows only what the activation loaded
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"
case "${1:-}" in
    "" | --without-addin) ;;
    --managed) export KESTRUM_STAND_IN_SCENARIO="${KESTRUM_STAND_IN_SCENARIO:-no_runtime}" ;;
    *) echo "usage: $0 [--without-addin | --managed]" >&2; exit 2 ;;
esac

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
