#!/usr/bin/env bash
# Creates the build tree's private Wine prefix (never the user's own), keeps
# its wineserver running so each later program starts fast, and installs the
# test fixtures of both editions: the sample add-in and the stand-in .NET
# hosting layer, each in its own bitness's registry view and system folder.
#   prepare-prefix.sh BUILD_DIR [--edition x64|x86] [--without-addin | --managed] [--powerpoint]
# BUILD_DIR is the x64 build tree; the x86 edition's tree is BUILD_DIR/x86.
# --edition installs that edition's fixtures only, as scripts/run.sh builds
# no others. --managed points "Pexlo.PowerPoint.Addin" at the sample
# registered as a .NET add-in is (the "managed" row of managed_variants.tsv).
# --powerpoint (with --edition) sets the prefix up as a customer's machine
# with PowerPoint of that edition's bitness: its stand-in where Click-to-Run
# Office keeps POWERPNT.EXE, with Click-to-Run's configuration naming it, and,
# unless --without-addin, the add-in's per-machine entry in the edition's
# registry view, as its installer writes it. The tests' prefix gets none of this: they write the
# PowerPoint state each of them needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() {
    echo "prepare-prefix: $*" >&2
    exit 1
}
usage="usage: prepare-prefix.sh BUILD_DIR [--edition x64|x86] [--without-addin | --managed] [--powerpoint] (BUILD_DIR must exist)"
[ $# -ge 1 ] && [ -d "$1" ] || fail "$usage"
build=$(cd "$1" && pwd)
shift
register_addin=yes
only_edition=""
with_powerpoint=no
while [ $# -gt 0 ]; do
    case "$1" in
        --edition)
            [[ "${2:-}" =~ ^(x64|x86)$ ]] || fail "$usage"
            only_edition=$2
            shift
            ;;
        --without-addin) register_addin=no ;;
        --managed) register_addin=managed ;;
        --powerpoint) with_powerpoint=yes ;;
        *) fail "$usage" ;;
    esac
    shift
done
[ "$with_powerpoint" = no ] || [ -n "$only_edition" ] || fail "$usage"

export WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/wine-prefix}"
# shellcheck source=wine-common.sh
source "$root/scripts/wine-common.sh"
kestrum_require_wine64
log="$build/wine-prefix-setup.log"

# A prefix made while wine32 was missing has no 32-bit side, and with wine32
# present every 32-bit program fails in it ("could not load kernel32.dll").
# It is our own throwaway prefix: make it anew.
syswow64_kernel32="$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll"
# wineboot writes the system folder at once; system.reg only when wineserver saves.
prefix_made() {
    [ -f "$WINEPREFIX/system.reg" ] || [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]
}
if kestrum_wine32_usable && prefix_made && [ ! -f "$syswow64_kernel32" ]; then
    echo "prepare-prefix: $WINEPREFIX was made without 32-bit support; making it anew"
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi

mkdir -p "$WINEPREFIX"
if ! prefix_made; then
    echo "prepare-prefix: creating the private Wine prefix $WINEPREFIX"
    # No Mono or Gecko installers on first start: nothing here needs them.
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" kestrum_wine64 wineboot -i >"$log" 2>&1 </dev/null; then
        tail -n 20 "$log" >&2
        fail "wineboot could not create $WINEPREFIX (its output: $log)"
    fi
    if kestrum_wine32_usable && [ ! -f "$syswow64_kernel32" ]; then
        fail "the new prefix $WINEPREFIX has no 32-bit side ($syswow64_kernel32 is missing) although wine32 is installed"
    fi
    # wineboot's server goes away a few seconds after the last program, and
    # "wineserver -p" leaves a running server as it is: let it go first, so
    # the one that serves the tests is the persistent one.
    wineserver -w 2>/dev/null || true
fi
wineserver -p 2>/dev/null || true  # already running is fine
# Wine's helper services inherit standard output; start them now, into a
# file, so later runs do not wait for them to let go of a pipe.
if ! kestrum_wine64 cmd /c exit >"$log" 2>&1 </dev/null; then
    status=$?
    tail -n 20 "$log" >&2
    fail "Wine cannot start a program in $WINEPREFIX (status $status; output: $log); delete that folder to have it made anew"
fi

x86_build="$build/x86"
if [ -n "$only_edition" ]; then
    editions=("$only_edition")
elif [ -d "$x86_build/tests/fixtures" ]; then
    editions=(x64 x86)
else
    editions=(x64)
    echo "prepare-prefix: no x86 build in $x86_build: installing the 64-bit fixtures only"
fi
for edition in "${editions[@]}"; do
    edition_build="$build"
    [ "$edition" = x86 ] && edition_build="$x86_build"
    bash "$root/tests/fixtures/stand_in_clr/install.sh" "$WINEPREFIX" "$edition_build" "$edition"
    bash "$root/tests/fixtures/sample_addin/install.sh" "$WINEPREFIX" \
        "$edition_build/tests/fixtures/sample_addin" "$edition"
    # PowerPoint's stand-in where Click-to-Run would keep it; the tests point
    # the registry at it (the main job builds none).
    powerpoint_stand_in="$edition_build/tests/fixtures/powerpoint_stand_in/POWERPNT.exe"
    if [ -f "$powerpoint_stand_in" ] && [ "$with_powerpoint" = no ]; then
        stand_in_dir="$WINEPREFIX/drive_c/Pexlo Office Stand-in ($edition)/root/Office16"
        mkdir -p "$stand_in_dir"
        cp -f "$powerpoint_stand_in" "$stand_in_dir/POWERPNT.EXE"
    fi
done
addin_entry='HKLM\Software\Microsoft\Office\PowerPoint\Addins\Pexlo.PowerPoint.Addin'
if [ "$register_addin" = no ]; then
    # Wine keeps the ProgID in each registry view.
    kestrum_wine64 cmd /c 'reg delete HKCR\Pexlo.PowerPoint.Addin /f /reg:64 >nul 2>&1 & '\
'reg delete HKCR\Pexlo.PowerPoint.Addin /f /reg:32 >nul 2>&1 & '\
"reg delete $addin_entry /f /reg:64 >nul 2>&1 & reg delete $addin_entry /f /reg:32 >nul 2>&1 & exit 0" \
        >"$log" 2>&1 </dev/null || true
fi
if [ "$with_powerpoint" = yes ]; then
    # Click-to-Run Office: its configuration key is in the 64-bit view also
    # for 32-bit Office, which lives under Program Files (x86). One Office per
    # machine: the other bitness's goes, if an earlier run left it.
    view=/reg:64 program_files="Program Files" platform=x64 other="Program Files (x86)"
    [ "$only_edition" = x86 ] && view=/reg:32 program_files="Program Files (x86)" platform=x86 other="Program Files"
    rm -rf "$WINEPREFIX/drive_c/$other/Microsoft Office"
    office="$WINEPREFIX/drive_c/$program_files/Microsoft Office/root/Office16"
    mkdir -p "$office"
    edition_build="$build"
    [ "$only_edition" = x86 ] && edition_build="$x86_build"
    cp -f "$edition_build/tests/fixtures/powerpoint_stand_in/POWERPNT.exe" "$office/POWERPNT.EXE"
    reg_file="$WINEPREFIX/drive_c/windows/temp/pexlo-powerpoint.reg"
    # import_reg VIEW KEYS: a .reg file's keys and values, into that registry view.
    import_reg() {
        local text="Windows Registry Editor Version 5.00"$'\n\n'"$2"
        printf '%s' "${text//$'\n'/$'\r\n'}" >"$reg_file"
        if ! kestrum_wine64 reg import 'C:\windows\temp\pexlo-powerpoint.reg' "$1" >"$log" 2>&1 </dev/null; then
            cat "$log" >&2
            fail "could not register PowerPoint's stand-in in the $1 registry view"
        fi
    }
    import_reg /reg:64 "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Office\\ClickToRun\\Configuration]
\"InstallationPath\"=\"C:\\\\${program_files}\\\\Microsoft Office\"
\"Platform\"=\"$platform\"
"
    # The add-in's entry for PowerPoint, as its installer writes it.
    if [ "$register_addin" != no ]; then
        import_reg "$view" "[${addin_entry/HKLM/HKEY_LOCAL_MACHINE}]
\"LoadBehavior\"=dword:00000003
\"FriendlyName\"=\"Pexlo PowerPoint Add-in\"
\"Description\"=\"Pexlo tools for PowerPoint\"
"
    fi
    rm -f "$reg_file"
fi
if [ "$register_addin" = managed ]; then
    managed_clsid=$(awk -F'\t' '$1 == "managed" { print $2 }' "$root/tests/fixtures/sample_addin/managed_variants.tsv")
    # Wine keeps the ProgID in each registry view: in those just installed.
    for edition in "${editions[@]}"; do
        view=/reg:64
        [ "$edition" = x86 ] && view=/reg:32
        kestrum_wine64 reg add 'HKCR\Pexlo.PowerPoint.Addin\CLSID' /ve /d "$managed_clsid" /f "$view" >"$log" 2>&1 </dev/null
    done
fi
if [ "$only_edition" != x64 ] && ! kestrum_wine32_usable; then
    echo "prepare-prefix: 32-bit programs cannot run here: ${KESTRUM_WINE32#no: }"
fi
