#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine and builds everything:
# both editions, kestrum.exe (x86-64) into build/ and kestrum32.exe (x86) into
# build/x86/. Safe to run again: installed packages and fetched headers are kept.
#   setup.sh [--packages-only]   (--packages-only: install and fetch, no build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"
build_too=yes
[ "${1:-}" = "--packages-only" ] && build_too=no

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

packages=(cmake ninja-build python3 wine wine64
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          googletest bsdutils ca-certificates osslsigncode openssl)
apt_updated=no

# wine32 runs the 32-bit edition's tests, but only on a kernel that executes
# 32-bit x86 code: elsewhere it would make /usr/bin/wine a loader the kernel
# refuses, for every user of the machine.
host_i386=$("$root/scripts/wine32-status" --host)
if [ "$host_i386" = yes ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding the i386 architecture for wine32"
        "${sudo_cmd[@]}" dpkg --add-architecture i386
        "${sudo_cmd[@]}" apt-get update -qq
        apt_updated=yes
    fi
    packages+=(wine32:i386)
    echo "setup: this machine runs 32-bit x86 programs: wine32:i386 is used to test kestrum32.exe"
else
    echo "setup: not installing wine32:i386: ${host_i386#no: }; kestrum32.exe is built but its runs are skipped"
    if is_installed wine32:i386; then
        echo "setup: warning: wine32:i386 is installed but cannot run here, so plain 'wine' fails" \
             "(\"Exec format error\"); Kestrum's scripts use /usr/lib/wine/wine64 directly" >&2
    fi
fi

missing=()
for package in "${packages[@]}"; do
    is_installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    [ "$apt_updated" = yes ] || "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

"$root/scripts/fetch-deps.sh"
[ "$build_too" = yes ] || exit 0

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"
