#!/usr/bin/env bash
# Signs Windows files (.exe, .msi) in place with Authenticode, SHA-256, by osslsigncode:
#   MAE_SIGN_PFX=<file.pfx> MAE_SIGN_PASSWORD=<password> scripts/sign-windows.sh FILE...
# MAE_SIGN_TIMESTAMP=<url> adds an RFC 3161 timestamp from that server, so that the signature
# stays valid after the certificate expires. A file signed before is signed anew. The password goes
# to osslsigncode in a file only this user can read, never on a command line, and is never
# printed. scripts/build-windows.sh calls this for both programs, then for the installers.
set -euo pipefail
[ -n "${MAE_SIGN_PFX:-}" ] || { echo "sign-windows: MAE_SIGN_PFX is not set" >&2; exit 2; }
[ -r "$MAE_SIGN_PFX" ] || { echo "sign-windows: cannot read the certificate $MAE_SIGN_PFX" >&2; exit 2; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
(umask 077 && printf '%s' "${MAE_SIGN_PASSWORD:-}" >"$WORK/password")
TIMESTAMP=()
[ -z "${MAE_SIGN_TIMESTAMP:-}" ] || TIMESTAMP=(-ts "$MAE_SIGN_TIMESTAMP")
for file in "$@"; do
    # A signature already there (a program that was not linked again) is left out of what is
    # signed; the file itself is replaced only once it is signed anew.
    source="$file"
    rm -f "$WORK/unsigned" "$WORK/signed"
    if osslsigncode remove-signature -in "$file" -out "$WORK/unsigned" >/dev/null 2>&1; then
        source="$WORK/unsigned"
    fi
    if ! osslsigncode sign -pkcs12 "$MAE_SIGN_PFX" -readpass "$WORK/password" -h sha256 \
        -n "Meridane Audit Extract" ${TIMESTAMP[@]+"${TIMESTAMP[@]}"} -in "$source" \
        -out "$WORK/signed" >"$WORK/log" 2>&1; then
        # osslsigncode's own words (it never repeats the password): the file stays as it was.
        sed 's/^/  /' "$WORK/log" >&2
        echo "sign-windows: $file could not be signed (wrong password, or not a code-signing certificate?)" >&2
        exit 1
    fi
    # Whole or not at all: the signed file is put in place by a rename.
    cp -f "$WORK/signed" "$file.signed.tmp"
    mv -f "$file.signed.tmp" "$file"
    echo "signed $file"
done
