#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine and builds everything.
# Safe to run again: installed packages and fetched headers are kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"

packages=(cmake ninja-build python3 wine wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          googletest bsdutils ca-certificates)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

"$root/scripts/fetch-deps.sh"

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"
