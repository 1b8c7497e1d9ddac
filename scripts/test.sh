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
# Now and then Wine fails to start a program at all: the entry ends within a
# fraction of a second with no output. Such an entry is run once more, and
# said so; an entry that fails twice fails the run.
if ! ctest --output-on-failure -j "$(nproc)"; then
    echo "test.sh: running the failed entries once more:" >&2
    ctest --rerun-failed --output-on-failure
fi
