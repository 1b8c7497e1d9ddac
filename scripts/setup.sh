#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine and builds:
#   setup.sh                      everything: both editions, kestrum.exe (x86-64)
#                                 into build/ and kestrum32.exe (x86) into
#                                 build/x86/, with every test and fixture
#   setup.sh --main-job x64|x86   only what scripts/run.sh runs: that edition,
#                                 the sample add-in with its CodeBase file, the
#                                 stand-in hosting layer and PowerPoint's
#                                 stand-in of its bitness; a new tree is made
#                                 without GoogleTest and the unit tests
#   setup.sh --packages-only      install and fetch, no build
# Safe to run again: installed packages and fetched headers are kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KESTRUM_BUILD_DIR:-$root/build}"
build_what=all
case "${1:-}" in
    "") ;;
    --packages-only) build_what=nothing ;;
    --main-job)
        case "${2:-}" in
            x64) build_what=main-job ;;
            x86) build_what=main-job-x86 ;;
            *) echo "usage: setup.sh [--main-job x64|x86 | --packages-only]" >&2; exit 2 ;;
        esac
        ;;
    *) echo "usage: setup.sh [--main-job x64|x86 | --packages-only]" >&2; exit 2 ;;
esac

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# scripts/check-setup.sh points these at stand-ins that fail as a broken
# mirror does; nothing else sets them.
apt=${KESTRUM_APT:-apt-get}
dpkg_cmd=${KESTRUM_DPKG:-dpkg}
dpkg_query=${KESTRUM_DPKG_QUERY:-dpkg-query}
state="${KESTRUM_SETUP_STATE:-$root/.setup-state}"
is_installed() {
    "$dpkg_query" -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
# apt's first error line, or its last line when it printed none.
first_error() {
    grep -m1 '^E: ' "$1" || tail -n 1 "$1"
}

packages=(cmake ninja-build python3 wine wine64
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          googletest bsdutils ca-certificates osslsigncode openssl)
apt_updated=no
added_i386=no
apt_log=$(mktemp "${TMPDIR:-/tmp}/kestrum-setup.XXXXXX")
# An i386 architecture this run added stays only with wine32:i386 installed:
# left behind, a broken i386 index makes every later apt-get update on this
# machine fail. Also when setup stops on the way.
take_back_i386() {
    if [ "$added_i386" = yes ] && ! is_installed wine32:i386; then
        added_i386=no
        "${sudo_cmd[@]}" "$dpkg_cmd" --remove-architecture i386 ||
            echo "setup: warning: could not remove the i386 architecture again" >&2
    fi
}
trap 'take_back_i386; rm -f "$apt_log"' EXIT

# A mirror can serve a broken index for hours. The lists that did download
# are still used, so a failed update is said and the install goes on: only
# the install's own failure stops setup.
apt_update() {
    [ "$apt_updated" = no ] || return 0
    apt_updated=yes
    local try
    for try in 1 2 3; do
        "${sudo_cmd[@]}" "$apt" update -qq >"$apt_log" 2>&1 && return 0
        [ "$try" -eq 3 ] || sleep "${KESTRUM_APT_RETRY_SECONDS:-3}"
    done
    echo "setup: apt-get update failed 3 times, going on with the package lists there are: $(first_error "$apt_log")"
}

# wine32 runs the 32-bit edition's tests, but only on a kernel that executes
# 32-bit x86 code: elsewhere it would make /usr/bin/wine a loader the kernel
# refuses, for every user of the machine.
host_i386=$("$root/scripts/wine32-status" --host)
want_wine32=no
if [ "$host_i386" = yes ]; then
    # kestrum.exe's own run needs none: it is tried for what runs kestrum32.exe.
    if ! is_installed wine32:i386 && [ "$build_what" != main-job ]; then
        want_wine32=yes
        if ! "$dpkg_cmd" --print-foreign-architectures | grep -qx i386; then
            echo "setup: adding the i386 architecture for wine32"
            "${sudo_cmd[@]}" "$dpkg_cmd" --add-architecture i386
            added_i386=yes
        fi
    fi
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
    apt_update
    if ! DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" "$apt" install -y -qq "${missing[@]}" >"$apt_log" 2>&1; then
        echo "setup: could not install ${missing[*]}: $(first_error "$apt_log")" >&2
        exit 1
    fi
fi

# wine32:i386 needs i386 libraries of exactly the amd64 versions installed,
# so a stale i386 index makes it uninstallable. Setup then goes on as on a
# machine that runs no 32-bit programs, and scripts/wine32-status says why.
if [ "$want_wine32" = yes ]; then
    apt_update
    mkdir -p "$state"
    if DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" "$apt" install -y -qq wine32:i386 >"$apt_log" 2>&1; then
        rm -f "$state/wine32-failed"
    else
        reason="wine32:i386 could not be installed: $(first_error "$apt_log")"
        echo "$reason" > "$state/wine32-failed"
        echo "setup: $reason; kestrum32.exe is built but its runs are skipped"
        take_back_i386
    fi
fi
if [ "$host_i386" = yes ] && is_installed wine32:i386; then
    rm -f "$state/wine32-failed"
    echo "setup: this machine runs 32-bit x86 programs: wine32:i386 is used to test kestrum32.exe"
fi

"$root/scripts/fetch-deps.sh"

configure() {
    cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake" \
        -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
case "$build_what" in
    nothing) ;;
    all)
        configure -DKESTRUM_BUILD_TESTS=ON -DKESTRUM_BUILD_UNIT_TESTS=ON
        cmake --build "$build"
        ;;
    main-job*)
        # A tree with the fixtures is used as it is (ninja configures it again
        # when a CMakeLists.txt changed), also one scripts/test.sh made; a new
        # one is made without GoogleTest. kestrum_x86_main_job configures the
        # x86 tree, then builds only the same three targets there.
        if ! grep -qx 'KESTRUM_BUILD_TESTS:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
            configure -DKESTRUM_BUILD_TESTS=ON -DKESTRUM_BUILD_UNIT_TESTS=OFF
        fi
        target=kestrum_main_job
        [ "$build_what" = main-job-x86 ] && target=kestrum_x86_main_job
        cmake --build "$build" --target "$target"
        ;;
esac
