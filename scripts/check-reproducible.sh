#!/usr/bin/env bash
# Checks that the release package is reproducible to the byte: builds it
# twice, from two clones of the current commit in two different folders, one
# after the other, and compares the zips and exes; then checks that neither
# exe holds a folder of the build machine. Uncommitted changes are not part
# of the check (it builds the commit).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=deps-pin.sh
source "$root/scripts/deps-pin.sh"
fail() {
    echo "check-reproducible: FAILED: $*" >&2
    exit 1
}

# The package's BUILDINFO must say it was built from the packages PIN names,
# each by version and checksum: the same bytes need the same fmt and spdlog.
check_buildinfo() {
    local zip=$1 pin=$2 buildinfo package version sha
    [ -n "$(pin_entries "$pin")" ] || fail "$pin pins nothing"
    buildinfo=$(python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).read("BUILDINFO").decode())' "$zip")
    while read -r package version sha _; do
        grep -qF "Debian $package $version, .deb SHA-256 $sha, as pinned" <<< "$buildinfo" ||
            fail "BUILDINFO in $zip does not name the pinned $package $version ($sha):"$'\n'"$buildinfo"
    done < <(pin_entries "$pin")
}

commit=$(git -C "$root" rev-parse HEAD)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "check-reproducible: note: uncommitted changes are not checked; building commit $commit"
fi
"$root/scripts/setup.sh" --packages-only  # the fmt and spdlog headers, fetched once for both

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrum-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Different names and depths, so any recorded path would show.
copies=("$work/first" "$work/second/a/longer/folder")
for copy in "${copies[@]}"; do
    mkdir -p "$(dirname "$copy")"
    git clone --quiet --no-checkout "$root" "$copy"
    git -C "$copy" -c advice.detachedHead=false checkout --quiet "$commit"
    ln -s "$(cd "$root/third_party" && pwd -P)" "$copy/third_party"
    echo "check-reproducible: building the package in $copy"
    if ! (cd "$copy" && bash scripts/package.sh) >"$copy.log" 2>&1; then
        tail -n 30 "$copy.log" >&2
        fail "scripts/package.sh failed in $copy"
    fi
done

zip_name=$(cd "${copies[0]}/dist" && ls PexloKestrum-*-windows.zip)
for file in "dist/$zip_name" build-package/kestrum.exe build-package/x86/kestrum32.exe; do
    first=$(sha256sum < "${copies[0]}/$file")
    second=$(sha256sum < "${copies[1]}/$file")
    [ "$first" = "$second" ] || fail "$file differs between the two builds (${first%% *} / ${second%% *})"
    echo "check-reproducible: $file identical: ${first%% *}"
done

check_buildinfo "${copies[0]}/dist/$zip_name" "${copies[0]}/cmake/third_party.pin"
echo "check-reproducible: BUILDINFO names the pinned fmt and spdlog packages"

# Every folder the builds knew, as 8-bit text and as UTF-16LE.
python3 - "$root" "$work" "${copies[@]}" <<'PYTHON' || fail "a build folder appears in an exe"
import sys
from pathlib import Path

root, work, *copies = sys.argv[1:]
folders = {root, str(Path(root).resolve()), work, str(Path(work).resolve())}
for copy in copies:
    folders |= {copy, copy + "/build-package", str(Path(copy, "third_party").resolve())}
found = False
for copy in copies:
    for exe in ("build-package/kestrum.exe", "build-package/x86/kestrum32.exe"):
        data = Path(copy, exe).read_bytes()
        for folder in sorted(folders):
            for encoding in ("utf-8", "utf-16-le"):
                if folder.encode(encoding) in data:
                    print(f"{copy}/{exe} holds {folder!r} ({encoding})")
                    found = True
sys.exit(1 if found else 0)
PYTHON
echo "check-reproducible: no build folder in either exe; the package is reproducible"
