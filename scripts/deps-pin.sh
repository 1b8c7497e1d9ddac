# shellcheck shell=bash
# Sourced by the scripts that read cmake/third_party.pin or the record that
# scripts/fetch-deps.sh leaves in third_party/.complete.
#
# The pin has one line per package: PACKAGE VERSION SHA256 SERIES. The stamp
# has "pin PACKAGE VERSION SHA256 SERIES" lines (the pin it was fetched for)
# and "unpacked PACKAGE VERSION SHA256" lines (what is really there).

# Prints the pin's package lines with single spaces, comments and blanks gone.
pin_entries() {
    awk '!/^[[:space:]]*(#|$)/ { print $1, $2, $3, $4 }' "$1"
}

# Stops the caller unless every line of the pin is well formed.
pin_validate() {
    awk -v file="$1" '
        /^[[:space:]]*(#|$)/ { next }
        NF != 4 || $3 !~ /^[0-9a-f]+$/ || length($3) != 64 || $4 !~ /^[0-9]+(\.[0-9]+)*$/ {
            printf "%s:%d: expected PACKAGE VERSION SHA256 SERIES, found: %s\n", file, NR, $0 > "/dev/stderr"
            bad = 1
        }
        END { exit bad }' "$1"
}

# The upstream version in a Debian version: 1:1.15.3+ds-1+b3 gives 1.15.3.
upstream_version() {
    local version=${1#*:}
    version=${version%-*}
    printf '%s\n' "${version%%[+~]*}"
}

# Whether an upstream version belongs to a series: 11.1.2 is in 11, 1.15.3 in 1.15.
in_series() {
    case "$1" in "$2" | "$2".*) return 0 ;; esac
    return 1
}

# Prints "PACKAGE PINNED_VERSION UNPACKED_VERSION" for every pinned package
# whose unpacked .deb is not the pinned one: another version, the same
# version with another checksum (shown as VERSION(other-checksum)), or none
# recorded ("(none)", also when there is no stamp at all).
pin_differences() {
    local pin=$1 stamp=$2
    [ -f "$stamp" ] || stamp=/dev/null
    awk 'part == "stamp" { if ($1 == "unpacked") { version[$2] = $3; sha[$2] = $4 } ; next }
         /^[[:space:]]*(#|$)/ { next }
         !($1 in version) { print $1, $2, "(none)"; next }
         version[$1] != $2 { print $1, $2, version[$1]; next }
         sha[$1] != $3 { print $1, $2, $2 "(other-checksum)" }' \
        part=stamp "$stamp" part=pin "$pin"
}
