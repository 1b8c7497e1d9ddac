#!/usr/bin/env bash
# Checks the fallback of scripts/fetch-deps.sh, the one path that only shows
# the day Debian unstable drops a pinned version: given a pin whose fmt
# version Debian never had, it must take the newest fmt of the same series,
# warn naming both versions, and record what it took. It works in a temporary
# folder; third_party/ is left as it was.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=deps-pin.sh
source "$root/scripts/deps-pin.sh"
fail() {
    echo "check-fetch-deps: FAILED: $*" >&2
    echo "check-fetch-deps: 0 passed, 1 failed"
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrum-fetch-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
absent=11.0.0+ds1-0~never.offered
awk -v absent="$absent" '$1 == "libfmt-dev" { $2 = absent } { print }' \
    "$root/cmake/third_party.pin" > "$work/third_party.pin"
third_party_before=$(cat "$root/third_party/.complete" 2>/dev/null || echo "(no stamp)")

start=$(date +%s%N)
"$root/scripts/fetch-deps.sh" --pin "$work/third_party.pin" --dest "$work/dest" 2> "$work/stderr" ||
    { cat "$work/stderr" >&2; fail "fetch-deps.sh stopped instead of falling back"; }
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
cat "$work/stderr" >&2

read -r _ pinned taken < <(pin_differences "$work/third_party.pin" "$work/dest/.complete" | grep '^libfmt-dev ') ||
    fail "the stamp records the absent pinned version as unpacked"
[ "$pinned" = "$absent" ] || fail "the stamp's difference names pinned version $pinned, not $absent"
in_series "$(upstream_version "$taken")" 11 || fail "took libfmt-dev $taken, which is not of the 11 series"
grep -qF "warning: Debian unstable no longer offers libfmt-dev $absent (pinned); taking $taken," "$work/stderr" ||
    fail "no warning naming both $absent and $taken"
fmt_number=$(sed -n 's/^#define FMT_VERSION \([0-9]*\)$/\1/p' "$work/dest/include/fmt/base.h")
[ "$((fmt_number / 10000))" = 11 ] || fail "the unpacked fmt/base.h says FMT_VERSION ${fmt_number:-(none)}"
[ "$(cat "$root/third_party/.complete" 2>/dev/null || echo "(no stamp)")" = "$third_party_before" ] ||
    fail "third_party/ was changed"

echo "check-fetch-deps: fell back from libfmt-dev $absent to $taken in $((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000))) s"
echo "check-fetch-deps: 1 passed, 0 failed"
