#!/usr/bin/env bash
# Fetches the header-only fmt 11 and spdlog 1.15 from Debian unstable into
# third_party/ (ignored by git). The machine's own apt configuration is left
# untouched: a private sources list and lists folder are used for the download.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dest="$root/third_party"
stamp="$dest/.complete"

if [ -f "$stamp" ]; then
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
mkdir -p "$work/lists/partial" "$work/archives/partial"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
echo "deb [signed-by=$keyring] $uri unstable main" > "$work/sources.list"

apt_opts=(
    -o "Dir::Etc::SourceList=$work/sources.list"
    -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$work/lists"
    -o "Dir::Cache::Archives=$work/archives"
    -o "APT::Get::List-Cleanup=0"
    -o "APT::Sandbox::User=root"
)

echo "fetch-deps: reading Debian unstable package lists"
apt-get -qq "${apt_opts[@]}" update
(cd "$work" && apt-get -qq "${apt_opts[@]}" download libfmt-dev libspdlog-dev)

rm -rf "$dest"
mkdir -p "$dest"
for deb in "$work"/*.deb; do
    dpkg -x "$deb" "$dest/root"
done
ln -s root/usr/include "$dest/include"
touch "$stamp"
echo "fetch-deps: unpacked $(cd "$work" && ls *.deb | tr '\n' ' ')"
