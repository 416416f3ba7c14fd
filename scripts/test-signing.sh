#!/usr/bin/env bash
# The signing of the Windows files, with a throw-away CA and code-signing certificate made here
# by openssl:
#   scripts/test-signing.sh <a built .exe> <a built .msi>
# Copies of both are signed by scripts/sign-windows.sh (the password on no command line and in no
# output), and must verify against that CA with osslsigncode verify -CAfile, and fail against
# another CA; a wrong password must fail, leaving the file as it was. Prints PASS or FAIL lines;
# exits 1 when one fails.
set -euo pipefail
cd "$(dirname "$0")/.."
EXE="$(realpath -e -- "$1")"
MSI="$(realpath -e -- "$2")"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
PASSWORD="pw-$RANDOM-$RANDOM-not-to-be-printed"

certificates() { # folder name: name-ca.pem, name.pfx
    local dir="$1" name="$2"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$name test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
        -keyout "$dir/$name-ca.key" -out "$dir/$name-ca.pem" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Halvory test code signing" \
        -keyout "$dir/$name.key" -out "$dir/$name.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
        >"$dir/$name.ext"
    openssl x509 -req -in "$dir/$name.csr" -CA "$dir/$name-ca.pem" -CAkey "$dir/$name-ca.key" \
        -CAcreateserial -days 2 -extfile "$dir/$name.ext" -out "$dir/$name.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/$name.key" -in "$dir/$name.pem" -certfile "$dir/$name-ca.pem" \
        -passout "pass:$PASSWORD" -out "$dir/$name.pfx"
}
certificates "$WORK" test
certificates "$WORK" other

failed=0
check() { # name status
    if [ "$2" -eq 0 ]; then echo "PASS $1"; else echo "FAIL $1"; failed=1; fi
}

cp "$EXE" "$WORK/program.exe"
cp "$MSI" "$WORK/setup.msi"
status=0
MAE_SIGN_PFX="$WORK/test.pfx" MAE_SIGN_PASSWORD="$PASSWORD" ./scripts/sign-windows.sh \
    "$WORK/program.exe" "$WORK/setup.msi" >"$WORK/sign.log" 2>&1 || status=1
sed 's/^/  /' "$WORK/sign.log"
for file in "$WORK/program.exe" "$WORK/setup.msi"; do
    osslsigncode verify -CAfile "$WORK/test-ca.pem" -in "$file" >"$WORK/verify.log" 2>&1 ||
        { sed 's/^/  /' "$WORK/verify.log"; status=1; }
    grep -q 'Signature verification: ok' "$WORK/verify.log" || status=1
    grep -qi 'sha256' "$WORK/verify.log" || { echo "  ${file##*/}: not SHA-256"; status=1; }
    # Signed by a certificate of another CA's, it must not verify: the check above means something.
    if osslsigncode verify -CAfile "$WORK/other-ca.pem" -in "$file" >/dev/null 2>&1; then
        echo "  ${file##*/} verifies against a CA that did not sign it"
        status=1
    fi
done
check "signing: a program and an installer signed (SHA-256) verify against the CA" "$status"

status=0
cp "$EXE" "$WORK/wrong.exe"
if MAE_SIGN_PFX="$WORK/test.pfx" MAE_SIGN_PASSWORD="not-$PASSWORD" ./scripts/sign-windows.sh \
    "$WORK/wrong.exe" >>"$WORK/sign.log" 2>&1; then
    echo "  signed with a wrong password"
    status=1
fi
cmp -s "$EXE" "$WORK/wrong.exe" || { echo "  a failed signing changed the file"; status=1; }
check "signing: a wrong password fails and leaves the file as it was" "$status"

status=0
if grep -qF -- "$PASSWORD" "$WORK/sign.log"; then echo "  the password was printed"; status=1; fi
check "signing: the password is never printed" "$status"
exit "$failed"
