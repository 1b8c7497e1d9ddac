#!/usr/bin/env bash
# The main job: builds one edition, with the sample add-in and the stand-in
# hosting layer of its bitness and nothing else (scripts/test.sh builds the
# rest), and runs it under Wine in the build tree's private prefix, with the
# sample add-in registered there as "Pexlo.PowerPoint.Addin". The log lands
# in build/run/PexloKestrumLogs/.
#   run.sh [--x86] [--without-addin | --managed]
#   --x86            run kestrum32.exe, the edition for 32-bit PowerPoint
#                    (kestrum.exe, for 64-bit PowerPoint, otherwise)
#   --without-addin  run as on a machine without the add-in
#   --managed        the sample registered as a .NET add-in is; the stand-in
#                    runtime then shows only what the activation loaded
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"
exe="$build/kestrum.exe"
edition=x64
prefix_options=()
for option in "$@"; do
    case "$option" in
        --x86) exe="$build/x86/kestrum32.exe" edition=x86 ;;
        --without-addin) prefix_options=(--without-addin) ;;
        --managed)
            prefix_options=(--managed)
            export KESTRUM_STAND_IN_SCENARIO="${KESTRUM_STAND_IN_SCENARIO:-no_runtime}"
            ;;
        *) echo "usage: run.sh [--x86] [--without-addin | --managed]" >&2; exit 2 ;;
    esac
done

"$root/scripts/setup.sh" --main-job "$edition"
export WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/wine-prefix}"
# shellcheck source=wine-common.sh
source "$root/scripts/wine-common.sh"
if [ "$edition" = x86 ] && ! kestrum_wine32_usable; then
    echo "run.sh: kestrum32.exe is built ($exe) but cannot run on this machine: ${KESTRUM_WINE32#no: }" >&2
    echo "run.sh: copy it to a Windows machine with 32-bit PowerPoint, or use one whose kernel runs 32-bit programs." >&2
    exit 1
fi
"$root/scripts/prepare-prefix.sh" "$build" --edition "$edition" "${prefix_options[@]}"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT

mkdir -p "$build/run"
cd "$build/run"
set +e
"$root/scripts/wine-exec" "$exe"
status=$?
set -e
log=$(ls -t "$build/run/PexloKestrumLogs/"*.log 2>/dev/null | head -n 1 || true)
echo "$(basename "$exe") exited with status $status; log: ${log:-none written}"
