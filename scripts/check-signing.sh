#!/usr/bin/env bash
# Checks the package's signing with a throwaway self-signed code-signing
# certificate made here: without a certificate nothing is signed (and the
# script says so); with one both exes carry an Authenticode signature by that
# certificate which verifies, checked again here from the zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() {
    echo "check-signing: FAILED: $*" >&2
    exit 1
}
"$root/scripts/setup.sh" --packages-only  # osslsigncode, openssl

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrum-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
subject="Kestrum throwaway test signer $$"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$subject" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null ||
    fail "openssl could not make a certificate"

package() {  # package OUTPUT_FOLDER [VAR=VALUE...]: runs package.sh, unpacks its zip
    local out=$1
    shift
    env "$@" KESTRUM_DIST_DIR="$out/dist" bash "$root/scripts/package.sh" >"$out.log" 2>&1 ||
        { tail -n 30 "$out.log" >&2; fail "scripts/package.sh failed (log: $out.log)"; }
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$(ls "$out"/dist/PexloKestrum-*-windows.zip)" "$out/unpacked"
    (cd "$out/unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zip's files"
}

package "$work/unsigned"
grep -q "the exes are not signed" "$work/unsigned.log" || fail "an unsigned build does not say so"
for exe in kestrum.exe kestrum32.exe; do
    if osslsigncode verify -in "$work/unsigned/unpacked/$exe" >/dev/null 2>&1; then
        fail "$exe is signed although no certificate was given"
    fi
done
grep -qx "signed: no" "$work/unsigned/unpacked/BUILDINFO" || fail "BUILDINFO of the unsigned build"

package "$work/signed" KESTRUM_SIGN_CERT="$work/cert.pem" KESTRUM_SIGN_KEY="$work/key.pem"
for exe in kestrum.exe kestrum32.exe; do
    osslsigncode verify -in "$work/signed/unpacked/$exe" -CAfile "$work/cert.pem" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log" >&2; fail "the signature of $exe does not verify"; }
    grep -q "CN=$subject" "$work/verify.log" || fail "$exe is not signed by the throwaway certificate"
    echo "check-signing: $exe signed by CN=$subject, signature verified"
done
grep -q "^signed: yes" "$work/signed/unpacked/BUILDINFO" || fail "BUILDINFO of the signed build"
echo "check-signing: unsigned and signed packages as expected"
