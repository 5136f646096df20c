#!/usr/bin/env bash
# Signing with a key that never leaves its token: a package signed by osslsigncode through the
# PKCS#11 engine with a key held by SoftHSM2 verifies with osslsigncode and tailpack; and a
# signature taken from a signed package and attached to a fresh create of the same inputs gives
# the same bytes (a reproducible signed package). Given the Windows build's sample installer and
# Wine, the signed package runs under Wine with /s and ends with the installer's exit code.
# Usage: signing_token_test.sh TAILPACK STUB [SAMPLE_INSTALLER SOURCE_DIR]
set -euo pipefail
tailpack=$1 stub=$2 installer=${3:-} source=${4:-}
fail() { echo "FAILED: $*" >&2; exit 1; }
engine=$(ls /usr/lib/*/engines-3/pkcs11.so 2>/dev/null | head -1 || true)
module=/usr/lib/softhsm/libsofthsm2.so
for need in osslsigncode openssl softhsm2-util; do
  command -v "$need" >/dev/null || { echo "$need is not installed (scripts/setup installs it)"; exit 77; }
done
[[ -n $engine && -f $module ]] || { echo "no PKCS#11 engine or SoftHSM2 module (scripts/setup installs them)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A token with the signing key; the key file is removed once the token holds it.
mkdir tokens
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\n' "$work" >softhsm2.conf
export SOFTHSM2_CONF=$work/softhsm2.conf
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Tailrun-token-test -addext extendedKeyUsage=codeSigning \
  -keyout key.pem -out cert.pem >/dev/null 2>&1
openssl pkcs8 -topk8 -nocrypt -in key.pem -out key8.pem
softhsm2-util --init-token --free --label tailrun --pin 1234 --so-pin 5678 >/dev/null
softhsm2-util --import key8.pem --token tailrun --label signer --id 01 --pin 1234 >/dev/null
rm key.pem key8.pem

# The installer exits with the code in the .cfg beside it (samples/sample_installer.cpp).
if [[ -n $installer ]]; then cp "$installer" setup.exe; else cp "$stub" setup.exe; fi
echo 7 >setup.cfg
make_package() {
  "$tailpack" create --stub "$stub" --output "$1" --file installer32:sample_installer.exe=setup.exe \
    --file :sample_installer.cfg=setup.cfg --value 'executable32=%installer32%' --product "Token Test" >/dev/null
}
make_package unsigned.exe
timeout 120 osslsigncode sign -pkcs11engine "$engine" -pkcs11module "$module" -certs cert.pem \
  -key 'pkcs11:token=tailrun;object=signer;type=private;pin-value=1234' -h sha256 \
  -in unsigned.exe -out signed.exe >/dev/null || fail "osslsigncode sign through the token"
timeout 120 osslsigncode verify -CAfile cert.pem -in signed.exe >/dev/null || fail "osslsigncode verify"
verified=$("$tailpack" verify signed.exe) || fail "tailpack verify: $verified"
grep -q ": signed: the chain ends at " <<<"$verified" || fail "tailpack verify does not say signed: $verified"

timeout 120 osslsigncode extract-signature -in signed.exe -out signature.der >/dev/null || fail "extract-signature"
make_package fresh.exe
timeout 120 osslsigncode attach-signature -sigin signature.der -CAfile cert.pem -in fresh.exe -out reattached.exe \
  >/dev/null || fail "attach-signature"
cmp -s signed.exe reattached.exe || fail "the re-attached signature gives other bytes"
ran=
if [[ -n $installer ]] && command -v wine >/dev/null; then
  status=0
  timeout 180 "$source/scripts/wine-run" signed.exe /s >/dev/null 2>&1 || status=$?
  [[ $status == 7 ]] || fail "the signed package exited with $status under Wine, not the installer's 7"
  ran=", ran under Wine"
fi
echo "signed through a PKCS#11 token, verified$ran, and reproduced byte for byte ($(stat -c %s signed.exe) bytes)"
