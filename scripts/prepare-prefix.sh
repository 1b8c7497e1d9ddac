#!/usr/bin/env bash
# Creates the build tree's private Wine prefix (never the user's own), keeps
# its wineserver running so each later program starts fast, and installs the
# test fixtures: the sample add-in and the stand-in .NET hosting layer.
#   prepare-prefix.sh BUILD_DIR [--without-addin | --managed]
# --managed points "Pexlo.PowerPoint.Addin" at the sample registered as a .NET
# add-in is (the "managed" row of managed_variants.tsv).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
register_addin=yes
[ "${2:-}" = "--without-addin" ] && register_addin=no
[ "${2:-}" = "--managed" ] && register_addin=managed

export WINEPREFIX="${KESTRUM_WINEPREFIX:-$build/wine-prefix}"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "prepare-prefix: creating the private Wine prefix $WINEPREFIX"
    # No Mono or Gecko installers on first start: nothing here needs them.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
fi
wineserver -p 2>/dev/null || true  # already running is fine
# Wine's helper services inherit standard output; start them now, quietly,
# so later runs do not wait for them to let go of a pipe.
wine cmd /c exit >/dev/null 2>&1 </dev/null

bash "$root/tests/fixtures/stand_in_clr/install.sh" "$WINEPREFIX" "$build"
bash "$root/tests/fixtures/sample_addin/install.sh" "$WINEPREFIX" "$build/tests/fixtures/sample_addin"
if [ "$register_addin" = no ]; then
    wine reg delete 'HKCR\Pexlo.PowerPoint.Addin' /f >/dev/null 2>&1 || true
elif [ "$register_addin" = managed ]; then
    managed_clsid=$(awk -F'\t' '$1 == "managed" { print $2 }' "$root/tests/fixtures/sample_addin/managed_variants.tsv")
    wine reg add 'HKCR\Pexlo.PowerPoint.Addin\CLSID' /ve /d "$managed_clsid" /f >/dev/null 2>&1
fi
