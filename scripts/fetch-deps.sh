#!/usr/bin/env bash
# Fetches the header-only fmt and spdlog that cmake/third_party.pin names, by
# exact version, from Debian unstable into third_party/ (ignored by git), and
# unpacks each .deb only once its SHA-256 matches the pin's. The machine's own
# apt configuration is left untouched: a private sources list and lists folder
# are used for the download.
#
# Unstable drops old versions. When a pinned one is no longer offered, this
# takes the newest version of the same series instead, says so, and records
# it in third_party/.complete: good enough to develop with, while
# scripts/package.sh makes no release from it until the pin is moved.
#
#   fetch-deps.sh                fetch what the pin names (nothing to do when
#                                third_party/ already holds it)
#   fetch-deps.sh --update-pin   move the pin to the newest version of each
#                                series on offer, with its checksum, and fetch
#   --pin FILE, --dest DIR       another pin file and folder, so that
#                                scripts/check-fetch-deps.sh can try the
#                                fallback without touching third_party/
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=deps-pin.sh
source "$root/scripts/deps-pin.sh"
pin="$root/cmake/third_party.pin"
dest="$root/third_party"
update_pin=no
while [ $# -gt 0 ]; do
    case "$1" in
        --update-pin) update_pin=yes ;;
        --pin) pin=${2:?--pin needs a file}; shift ;;
        --dest) dest=${2:?--dest needs a folder}; shift ;;
        *)
            echo "usage: fetch-deps.sh [--update-pin] [--pin FILE] [--dest DIR]" >&2
            exit 2
            ;;
    esac
    shift
done
stamp="$dest/.complete"

fail() {
    echo "fetch-deps: $*" >&2
    exit 1
}

pin_validate "$pin" || fail "$pin: not a pin file (see the comment at its top)"
mapfile -t entries < <(pin_entries "$pin")
[ ${#entries[@]} -gt 0 ] || fail "$pin names no package"
for entry in "${entries[@]}"; do
    read -r package version _ series <<< "$entry"
    in_series "$(upstream_version "$version")" "$series" ||
        fail "$pin: $package $version is not of the series $series it names"
done

# The stamp names the pin it was fetched for: a moved pin fetches again, an
# unchanged one does not, even when a fallback was taken (trying again each
# time would only unpack the same fallback, and rebuild everything).
if [ "$update_pin" = no ] && [ -f "$stamp" ] &&
    [ "$(grep '^pin ' "$stamp" || true)" = "$(printf 'pin %s\n' "${entries[@]}")" ]; then
    while read -r package pinned taken; do
        echo "fetch-deps: warning: $dest holds $package $taken, not the pinned $pinned:" \
            "fine for development, but scripts/package.sh makes no release from it" \
            "(to move the pin: scripts/fetch-deps.sh --update-pin)" >&2
    done < <(pin_differences "$pin" "$stamp")
    exit 0
fi

# Derive the unstable source line from the machine's existing Debian entry so
# that no mirror host is written into the repository.
find_debian_uri() {
    local uri=""
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        uri=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' \
            /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\// && $i !~ /security/) { print $i; exit } }' \
            /etc/apt/sources.list)
    fi
    if [ -z "$uri" ]; then
        uri=$(grep -rhoE '(https?|mirror\+[a-z]+)://[^ ]*/debian/?' /etc/apt/sources.list.d/ 2>/dev/null \
            | grep -v security | head -n 1 || true)
    fi
    printf '%s' "$uri"
}

uri=$(find_debian_uri)
if [ -z "$uri" ]; then
    echo "fetch-deps: no Debian package source found in /etc/apt; cannot fetch fmt and spdlog" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/debs"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
echo "deb [signed-by=$keyring] $uri unstable main" > "$work/sources.list"

# One architecture whatever the host's: a package's .deb, and so its checksum,
# differs between architectures even when its headers do not. The package
# caches are private too: apt would otherwise rebuild the machine's own from
# these lists, and building them once here serves every call below.
apt_opts=(
    -o "Dir::Etc::SourceList=$work/sources.list"
    -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$work/lists"
    -o "Dir::Cache::Archives=$work/archives"
    -o "Dir::Cache::pkgcache=$work/pkgcache.bin"
    -o "Dir::Cache::srcpkgcache=$work/srcpkgcache.bin"
    -o "APT::Get::List-Cleanup=0"
    -o "APT::Sandbox::User=root"
    -o "APT::Architecture=amd64"
    -o "APT::Architectures=amd64"
)

echo "fetch-deps: reading Debian unstable package lists"
apt-get -qq "${apt_opts[@]}" update

# The newest version of PACKAGE on offer whose upstream version is in SERIES.
newest_in_series() {
    local package=$1 series=$2 newest="" version
    while read -r version; do
        in_series "$(upstream_version "$version")" "$series" || continue
        if [ -z "$newest" ] || dpkg --compare-versions "$version" gt "$newest"; then
            newest=$version
        fi
    done < <(apt-cache "${apt_opts[@]}" madison "$package" | awk -F ' *[|] *' '{ print $2 }')
    printf '%s' "$newest"
}

unpacked=()
new_entries=()
for entry in "${entries[@]}"; do
    read -r package version sha series <<< "$entry"
    offered=$(apt-cache "${apt_opts[@]}" madison "$package" | awk -F ' *[|] *' '{ print $2 }' | paste -sd ' ')
    if [ "$update_pin" = no ] && [[ " $offered " == *" $version "* ]]; then
        take=$version
    else
        take=$(newest_in_series "$package" "$series")
        [ -n "$take" ] || fail "Debian unstable offers no $package of the $series series" \
            "(pinned: $version; on offer: ${offered:-nothing}); moving to another series is a change to the code"
        if [ "$update_pin" = no ]; then
            echo "fetch-deps: warning: Debian unstable no longer offers $package $version (pinned);" \
                "taking $take, the newest of the $series series. Fine for development, but" \
                "scripts/package.sh makes no release from it (to move the pin: scripts/fetch-deps.sh --update-pin)" >&2
        fi
    fi
    (cd "$work/debs" && apt-get -qq "${apt_opts[@]}" download "$package=$take")
    debs=("$work/debs/${package}_"*.deb)
    if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
        fail "apt-get download left no single .deb for $package $take"
    fi
    got=$(sha256sum < "${debs[0]}" | cut -d ' ' -f 1)
    if [ "$update_pin" = no ] && [ "$take" = "$version" ] && [ "$got" != "$sha" ]; then
        fail "$package $version: the downloaded .deb has SHA-256 $got, but the pin says $sha; nothing was" \
            "unpacked. Either the pin's checksum is wrong or Debian now serves another .deb under that version:" \
            "find out which before moving the pin"
    fi
    if [ "$update_pin" = yes ] && { [ "$take" != "$version" ] || [ "$got" != "$sha" ]; }; then
        echo "fetch-deps: pin: $package $version ($sha) -> $take ($got)"
    fi
    unpacked+=("$package $take $got")
    new_entries+=("$package $take $got $series")
done

if [ "$update_pin" = yes ]; then
    if [ "${new_entries[*]}" = "${entries[*]}" ]; then
        echo "fetch-deps: the pin already names the newest version of each series on offer"
    else
        # Only the package lines change; the comments and the order stay.
        printf '%s\n' "${new_entries[@]}" | awk '
            part == "new" { line[$1] = sprintf("%-15s %-19s %s  %s", $1, $2, $3, $4); next }
            !/^[[:space:]]*(#|$)/ && ($1 in line) { print line[$1]; next }
            { print }' part=new - part=pin "$pin" > "$pin.part"
        mv "$pin.part" "$pin"
        echo "fetch-deps: rewrote $pin; commit it so that releases use it"
    fi
    entries=("${new_entries[@]}")
fi

stamp_text=$(
    echo "# Written by scripts/fetch-deps.sh: the pin this was fetched for, and what was unpacked"
    printf 'pin %s\n' "${entries[@]}"
    printf 'unpacked %s\n' "${unpacked[@]}"
)
summary=$(printf '%s\n' "${unpacked[@]}" | awk '{ print $1, $2 }' | paste -sd ',' | sed 's/,/, /g')
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
    echo "fetch-deps: $dest already holds $summary"
    exit 0
fi

mkdir -p "$dest"
rm -rf "$dest/root" "$dest/include" "$stamp"
for deb in "$work"/debs/*.deb; do
    dpkg -x "$deb" "$dest/root"
done
# dpkg -x keeps the packages' file times, which may well be older than objects
# built against the headers unpacked before: fresh times make them rebuild.
find "$dest/root" -exec touch -h {} +
ln -s root/usr/include "$dest/include"
printf '%s\n' "$stamp_text" > "$stamp.part"
mv "$stamp.part" "$stamp"
echo "fetch-deps: unpacked $summary into $dest"
