#!/usr/bin/env bash
# Windows build, under Wine: tailpack.exe creates a package on the built stub, the build machine
# signs it with openssl and osslsigncode, and the signed-package tests of tailpack_tests.exe list
# and verify it through the Win32 package file.
# Usage: signed_package_wine.sh TAILPACK_EXE TESTS_EXE WINE_RUN STUB    (exit 77: skipped)
set -euo pipefail
tailpack=$1 tests=$2 wine_run=$3 stub=$4

for program in openssl osslsigncode; do
  command -v "$program" >/dev/null || { echo "skipped: $program is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

windows_path() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
wine_tool() { timeout 120 "$wine_run" "$@" </dev/null; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# The entries that the signed-package tests expect.
wine_tool "$tailpack" create --stub "$(windows_path "$stub")" --stub-name Tailrun.exe \
  --output "$(windows_path "$work/unsigned.exe")" --value parameters=/qn --value msilog=ON --unchecked-launch >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test -addext extendedKeyUsage=codeSigning \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
timeout 120 osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 \
  -in "$work/unsigned.exe" -out "$work/signed.exe" >/dev/null
timeout 120 osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null ||
  fail "osslsigncode does not verify the signed package"

out=$(TAILPACK_SIGNED_PACKAGE=$(windows_path "$work/signed.exe") wine_tool "$tests" --gtest_filter='signed_package.*') ||
  { echo "$out"; fail "signed-package tests"; }
[[ $out != *SKIPPED* ]] || { echo "$out"; fail "signed-package tests were skipped"; }
echo "$out" | tail -1
