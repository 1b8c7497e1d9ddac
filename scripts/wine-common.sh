# Sourced by every script that runs Wine; the caller sets WINEPREFIX.
#
# 64-bit programs (and wineboot, reg, cmd) run through Wine's 64-bit loader by
# its full path: once wine32 is installed, /usr/bin/wine is the 32-bit loader.
# 32-bit programs run through wine32's loader, and only where this machine can
# run them at all (scripts/wine32-status); KESTRUM_WINE32 carries that answer
# ("yes" or "no: REASON") to every script and test started from here.

KESTRUM_WINE64_LOADER=/usr/lib/wine/wine64
KESTRUM_WINE32_LOADER=/usr/lib/wine/wine

export WINELOADER="$KESTRUM_WINE64_LOADER"
export WINEDEBUG="${WINEDEBUG:--all}"

if [ -z "${KESTRUM_WINE32:-}" ]; then
    KESTRUM_WINE32=$("$(dirname "${BASH_SOURCE[0]}")/wine32-status")
fi
export KESTRUM_WINE32

# Stops the calling script with a message when 64-bit Wine is missing.
kestrum_require_wine64() {
    if [ ! -x "$KESTRUM_WINE64_LOADER" ]; then
        echo "$(basename "$0"): $KESTRUM_WINE64_LOADER is missing: run scripts/setup.sh (installs wine64)" >&2
        exit 1
    fi
}

kestrum_wine64() {
    "$KESTRUM_WINE64_LOADER" "$@"
}

# True when 32-bit Windows programs can run here.
kestrum_wine32_usable() {
    [ "$KESTRUM_WINE32" = "yes" ]
}
