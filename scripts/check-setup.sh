#!/usr/bin/env bash
# Checks what scripts/setup.sh does on a bad day, without a broken mirror: an
# apt that fails every update as a mirror in sync does, and that cannot
# install wine32:i386. Setup must try the update three times, say so and go
# on, build nothing it was not asked to, record why wine32 is missing for
# scripts/wine32-status, and take back the i386 architecture it added, also
# when a package it needs cannot be installed and it stops. On a kernel that
# runs no 32-bit programs it must never add the architecture, and say why.
# Both kinds of kernel are played through KESTRUM_HOST_I386, whichever this
# machine is. Runs against stand-ins for apt-get, dpkg and dpkg-query
# (whatever this machine has installed); the machine is left as it was.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrum-check-setup.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check-setup: FAILED: $*" >&2
    sed 's/^/check-setup:   /' "$work/out" >&2 || true
    echo "check-setup: 0 passed, 1 failed"
    exit 1
}

index_error='E: Failed to fetch http://mirror.invalid/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?'
install_error="E: Unable to correct problems, you have held broken packages."
# Not installed: the packages named in $work/missing; none of them installs.
cat > "$work/apt-get" <<STUB
#!/usr/bin/env bash
echo "\$*" >> "$work/apt-calls"
case "\$1" in
    update) echo "$index_error" >&2; exit 100 ;;
    install) echo "$install_error" >&2; exit 100 ;;
esac
STUB
cat > "$work/dpkg" <<STUB
#!/usr/bin/env bash
echo "\$*" >> "$work/dpkg-calls"
STUB
cat > "$work/dpkg-query" <<STUB
#!/usr/bin/env bash
grep -qxF -- "\${@: -1}" "$work/missing" && exit 1
printf 'install ok installed'
STUB
chmod +x "$work/apt-get" "$work/dpkg" "$work/dpkg-query"
# run_setup yes|no PACKAGE...: setup on a kernel that does (or does not) run
# 32-bit programs, with PACKAGEs not installed.
run_setup() {
    local host_i386=$1
    shift
    printf '%s\n' "$@" > "$work/missing"
    rm -rf "$work/apt-calls" "$work/dpkg-calls" "$work/state"
    export KESTRUM_HOST_I386=$host_i386
    KESTRUM_APT="$work/apt-get" KESTRUM_DPKG="$work/dpkg" KESTRUM_DPKG_QUERY="$work/dpkg-query" \
        KESTRUM_SETUP_STATE="$work/state" KESTRUM_APT_RETRY_SECONDS=0 \
        "$root/scripts/setup.sh" --packages-only > "$work/out" 2>&1
}
passed=0

run_setup yes wine32:i386 || fail "setup.sh stopped (exit $?)"

[ "$(grep -c '^update' "$work/apt-calls")" = 3 ] || fail "apt-get update was not tried exactly three times"
grep -qxF "setup: apt-get update failed 3 times, going on with the package lists there are: $index_error" "$work/out" ||
    fail "no line saying the update failed, with apt's first error"
reason="wine32:i386 could not be installed: $install_error"
grep -qF "setup: $reason" "$work/out" || fail "no line saying wine32:i386 could not be installed"
[ "$(KESTRUM_SETUP_STATE="$work/state" "$root/scripts/wine32-status")" = "no: $reason" ] ||
    [ -x /usr/lib/wine/wine ] || fail "wine32-status does not give the reason"
grep -qx -- '--add-architecture i386' "$work/dpkg-calls" || fail "the i386 architecture was not added"
grep -qx -- '--remove-architecture i386' "$work/dpkg-calls" || fail "the i386 architecture it added was left behind"

! run_setup yes wine32:i386 cmake || fail "setup.sh went on without cmake"
grep -qxF "setup: could not install cmake: $install_error" "$work/out" || fail "no line naming the package it could not install"
grep -qx -- '--remove-architecture i386' "$work/dpkg-calls" || fail "stopping, it left the i386 architecture behind"
echo "check-setup: a kernel that runs 32-bit programs: a failing index and an uninstallable wine32 leave setup going, and the machine as it was, also when it stops"
passed=$((passed + 1))

run_setup no wine32:i386 || fail "setup.sh stopped on a kernel without 32-bit programs (exit $?)"
no_i386=$("$root/scripts/wine32-status" --host)
[ "${no_i386#no: }" != "$no_i386" ] || fail "wine32-status --host does not say no on a kernel without 32-bit programs"
grep -qxF "setup: not installing wine32:i386: ${no_i386#no: }; kestrum32.exe is built but its runs are skipped" "$work/out" ||
    fail "no line saying why wine32:i386 is not installed"
[ "$(KESTRUM_SETUP_STATE="$work/state" "$root/scripts/wine32-status")" = "$no_i386" ] ||
    fail "wine32-status does not give the kernel's reason"
! grep -qs -- '--add-architecture' "$work/dpkg-calls" || fail "the i386 architecture was added on a kernel without 32-bit programs"
! grep -qs 'wine32' "$work/apt-calls" || fail "wine32:i386 was tried on a kernel without 32-bit programs"
echo "check-setup: a kernel that runs no 32-bit programs: setup never adds the i386 architecture, and says why"
passed=$((passed + 1))
unset KESTRUM_HOST_I386

echo "check-setup: $passed passed, 0 failed"
