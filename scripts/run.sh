#!/usr/bin/env bash
# The main job: builds one edition, with the sample add-in, the stand-in
# hosting layer and PowerPoint's stand-in of its bitness and nothing else
# (scripts/test.sh builds the rest), and runs it under Wine in a prefix of
# its own in the build tree, set up as a customer's machine: PowerPoint of
# the edition's bitness, and the sample registered as "Pexlo.PowerPoint.Addin"
# the way the add-in ships, as a .NET add-in, with its per-machine entry for
# PowerPoint. The log lands in build/run/PexloKestrumLogs/.
#   run.sh [--x86] [--native | --without-addin]
#   --x86            run kestrum32.exe, the edition for 32-bit PowerPoint
#                    (kestrum.exe, for 64-bit PowerPoint, otherwise)
#   --native         the native sample add-in instead: it loads no runtime
#   --without-addin  run as on a machine with PowerPoint but without the add-in
#   --managed        the default, still accepted
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"
exe="$build/kestrum.exe"
edition=x64
prefix_options=(--managed)
for option in "$@"; do
    case "$option" in
        --x86) exe="$build/x86/kestrum32.exe" edition=x86 ;;
        --native) prefix_options=() ;;
        --without-addin) prefix_options=(--without-addin) ;;
        --managed) prefix_options=(--managed) ;;
        *) echo "usage: run.sh [--x86] [--native | --without-addin]" >&2; exit 2 ;;
    esac
done

"$root/scripts/setup.sh" --main-job "$edition"
# Not the tests' prefix: theirs has no PowerPoint unless a test writes one.
export KESTRUM_WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/main-job-prefix}"
export WINEPREFIX="$KESTRUM_WINEPREFIX"
# shellcheck source=wine-common.sh
source "$root/scripts/wine-common.sh"
if [ "$edition" = x86 ] && ! kestrum_wine32_usable; then
    echo "run.sh: kestrum32.exe is built ($exe) but cannot run on this machine: ${KESTRUM_WINE32#no: }" >&2
    echo "run.sh: copy it to a Windows machine with 32-bit PowerPoint, or use one whose kernel runs 32-bit programs." >&2
    exit 1
fi
"$root/scripts/prepare-prefix.sh" "$build" --edition "$edition" --powerpoint "${prefix_options[@]}"
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT

mkdir -p "$build/run"
cd "$build/run"
set +e
"$root/scripts/wine-exec" "$exe"
status=$?
set -e
log=$(ls -t "$build/run/PexloKestrumLogs/"*.log 2>/dev/null | head -n 1 || true)
echo "$(basename "$exe") exited with status $status; log: ${log:-none written}"
