#!/usr/bin/env bash
# Builds the release a support engineer downloads, from the working tree:
#   dist/PexloKestrum-<version>-windows.zip
# holding kestrum.exe (64-bit PowerPoint), kestrum32.exe (32-bit PowerPoint),
# README.txt (the user guide), BUILDINFO and SHA256SUMS. The version is the
# CMake project version. An unsigned package is the same to the byte from any
# folder and at any time, for the same commit: file times come from the
# commit (or SOURCE_DATE_EPOCH), and the build records no folder or time.
#
# Signing (Authenticode, with osslsigncode), when both are given:
#   KESTRUM_SIGN_CERT   the code-signing certificate, PEM (its chain may follow)
#   KESTRUM_SIGN_KEY    its private key, PEM
#   KESTRUM_SIGN_KEY_PASSWORD_FILE  optional: a file holding the key's password
#   KESTRUM_SIGN_CA_FILE            optional: the CA certificates that verify
#                                   the signature (default: KESTRUM_SIGN_CERT)
# Elsewhere: KESTRUM_PACKAGE_BUILD_DIR (default build-package/),
# KESTRUM_DIST_DIR (default dist/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=deps-pin.sh
source "$root/scripts/deps-pin.sh"
build="${KESTRUM_PACKAGE_BUILD_DIR:-$root/build-package}"
dist="${KESTRUM_DIST_DIR:-$root/dist}"
fail() {
    echo "package: $*" >&2
    exit 1
}

signing=no
if [ -n "${KESTRUM_SIGN_CERT:-}" ] || [ -n "${KESTRUM_SIGN_KEY:-}" ]; then
    [ -n "${KESTRUM_SIGN_CERT:-}" ] && [ -n "${KESTRUM_SIGN_KEY:-}" ] ||
        fail "signing needs both KESTRUM_SIGN_CERT and KESTRUM_SIGN_KEY"
    [ -f "$KESTRUM_SIGN_CERT" ] || fail "KESTRUM_SIGN_CERT: no file $KESTRUM_SIGN_CERT"
    [ -f "$KESTRUM_SIGN_KEY" ] || fail "KESTRUM_SIGN_KEY: no file $KESTRUM_SIGN_KEY"
    signing=yes
fi

# The commit's time stamps every file in the zip.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
        fail "not a git checkout: set SOURCE_DATE_EPOCH to the sources' time"
fi
export SOURCE_DATE_EPOCH
commit=$(git -C "$root" rev-parse HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    commit="$commit, with uncommitted changes"
    echo "package: warning: the working tree has uncommitted changes; this package is not the commit's" >&2
fi

"$root/scripts/setup.sh" --packages-only
# Product targets only: no tests or test fixtures.
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_TESTS=OFF >/dev/null

cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$2/CMakeCache.txt"
}
version=$(cache_value CMAKE_PROJECT_VERSION "$build")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
headers=$(cache_value KESTRUM_THIRD_PARTY_INCLUDE "$build")
fmt_number=$(sed -n 's/^#define FMT_VERSION \([0-9]*\)$/\1/p' "$headers/fmt/base.h")
fmt_version="$((fmt_number / 10000)).$((fmt_number / 100 % 100)).$((fmt_number % 100))"
spdlog_version=$(sed -n 's/^#define SPDLOG_VER_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' \
    "$headers/spdlog/version.h" | paste -sd.)

# The same commit gives the same package only if it is built from the same
# fmt and spdlog: the pinned .debs, as scripts/fetch-deps.sh recorded them,
# and nothing else (not the fallback it takes when Debian drops a version).
pin="$root/cmake/third_party.pin"
third_party=$(dirname "$headers")  # by name: include/ is a link into the unpacked tree
read -r _ fmt_deb fmt_sha _ < <(pin_entries "$pin" | grep '^libfmt-dev ') || fail "$pin pins no libfmt-dev"
read -r _ spdlog_deb spdlog_sha _ < <(pin_entries "$pin" | grep '^libspdlog-dev ') ||
    fail "$pin pins no libspdlog-dev"
problems=()
while read -r package pinned taken; do
    problems+=("$third_party holds $package $taken, not the pinned $pinned")
done < <(pin_differences "$pin" "$third_party/.complete")
[ "$fmt_version" = "$(upstream_version "$fmt_deb")" ] ||
    problems+=("$headers holds fmt $fmt_version, not $(upstream_version "$fmt_deb") of the pinned libfmt-dev $fmt_deb")
[ "$spdlog_version" = "$(upstream_version "$spdlog_deb")" ] ||
    problems+=("$headers holds spdlog $spdlog_version, not $(upstream_version "$spdlog_deb") of the pinned libspdlog-dev $spdlog_deb")
if [ ${#problems[@]} -gt 0 ]; then
    printf 'package: %s\n' "${problems[@]}" >&2
    fail "a release is built from the fmt and spdlog packages that cmake/third_party.pin names, and no other." \
        "When Debian unstable no longer offers them, move the pin to what it offers now:" \
        "scripts/fetch-deps.sh --update-pin; then build, test, and commit cmake/third_party.pin"
fi

cmake --build "$build"

compiler() {
    echo "$1 $(dpkg-query -W -f='${Version}' "$2" 2>/dev/null || echo '(version unknown)')"
}

stage="$build/package"
rm -rf "$stage"
mkdir -p "$stage" "$dist"
cp "$build/kestrum.exe" "$build/x86/kestrum32.exe" "$stage/"
sed "s/@VERSION@/$version/g" "$root/packaging/README.txt.in" | sed 's/$/\r/' > "$stage/README.txt"

if [ "$signing" = yes ]; then
    sign_options=(-certs "$KESTRUM_SIGN_CERT" -key "$KESTRUM_SIGN_KEY" -h sha256 -n "Pexlo Kestrum $version")
    [ -z "${KESTRUM_SIGN_KEY_PASSWORD_FILE:-}" ] || sign_options+=(-readpass "$KESTRUM_SIGN_KEY_PASSWORD_FILE")
    for exe in kestrum.exe kestrum32.exe; do
        osslsigncode sign "${sign_options[@]}" -in "$stage/$exe" -out "$stage/$exe.signed" >/dev/null ||
            fail "osslsigncode could not sign $exe"
        mv "$stage/$exe.signed" "$stage/$exe"
        osslsigncode verify -in "$stage/$exe" -CAfile "${KESTRUM_SIGN_CA_FILE:-$KESTRUM_SIGN_CERT}" \
            >"$stage/verify.log" 2>&1 || { cat "$stage/verify.log" >&2; fail "the signature of $exe does not verify"; }
        echo "package: signed $exe and verified its signature"
    done
    rm -f "$stage/verify.log"
    signed="yes, Authenticode (SHA-256), by $(openssl x509 -in "$KESTRUM_SIGN_CERT" -noout -subject -nameopt RFC2253)"
else
    echo "package: no certificate given (KESTRUM_SIGN_CERT, KESTRUM_SIGN_KEY): the exes are not signed"
    signed="no"
fi

cat > "$stage/BUILDINFO" <<EOF
Pexlo Kestrum $version
commit: $commit
sources' time: $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC') (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)
kestrum.exe: x86-64, built with $(compiler x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix)
kestrum32.exe: x86, built with $(compiler i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix)
fmt: $fmt_version (header-only), Debian libfmt-dev $fmt_deb, .deb SHA-256 $fmt_sha, as pinned
spdlog: $spdlog_version (header-only), Debian libspdlog-dev $spdlog_deb, .deb SHA-256 $spdlog_sha, as pinned
signed: $signed
EOF

(cd "$stage" && sha256sum kestrum.exe kestrum32.exe README.txt BUILDINFO > SHA256SUMS && sha256sum --quiet -c SHA256SUMS) ||
    fail "the checksums in $stage/SHA256SUMS do not match"

zip="$dist/PexloKestrum-$version-windows.zip"
# Fixed entry order, times and attributes, so equal files give an equal zip.
python3 - "$stage" "$zip" <<'EOF'
import os
import sys
import time
import zipfile

stage, target = sys.argv[1], sys.argv[2]
stamp = max(time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))[:6], (1980, 1, 1, 0, 0, 0))
with zipfile.ZipFile(target + ".part", "w") as archive:
    for name in ("kestrum.exe", "kestrum32.exe", "README.txt", "BUILDINFO", "SHA256SUMS"):
        entry = zipfile.ZipInfo(name, date_time=stamp)
        entry.create_system = 3
        entry.external_attr = 0o100644 << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(stage, name), "rb") as source:
            archive.writestr(entry, source.read(), compresslevel=9)
os.replace(target + ".part", target)
EOF
echo "package: $zip"
(cd "$dist" && sha256sum "$(basename "$zip")")
