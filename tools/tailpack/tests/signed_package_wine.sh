#!/usr/bin/env bash
# Windows build, under Wine: tailpack.exe creates a package whose stub image is tailpack.exe itself
# (a real PE32 that holds the marker text), the build machine signs it with openssl and
# osslsigncode, and then tailpack.exe verifies and lists it (its chain is accepted; it carries no
# installer), rejects a changed copy, and the
# signed-package tests of tailpack_tests.exe check it through the Win32 package file.
# Usage: signed_package_wine.sh TAILPACK_EXE TESTS_EXE WINE_RUN    (exit 77: skipped)
set -euo pipefail
tailpack=$1 tests=$2 wine_run=$3

for program in openssl osslsigncode; do
  command -v "$program" >/dev/null || { echo "skipped: $program is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

windows_path() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
wine_tool() { timeout 120 "$wine_run" "$@" </dev/null; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# The entries that the signed-package tests expect.
wine_tool "$tailpack" create --stub "$(windows_path "$tailpack")" --stub-name Tailrun.exe \
  --output "$(windows_path "$work/unsigned.exe")" --value parameters=/qn --value msilog=ON --unchecked-launch >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test -addext extendedKeyUsage=codeSigning \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
timeout 120 osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 \
  -in "$work/unsigned.exe" -out "$work/signed.exe" >/dev/null
timeout 120 osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null ||
  fail "osslsigncode does not verify the signed package"

# The chain is accepted; verify fails only because the package carries no installer to launch.
status=0
err=$(wine_tool "$tailpack" verify "$(windows_path "$work/signed.exe")" 2>&1 >/dev/null) || status=$?
[[ $status == 1 && $err == *'no setting "executable32"'* ]] || fail "verify of the signed package: status $status, $err"
out=$(wine_tool "$tailpack" list "$(windows_path "$work/signed.exe")") || fail "list of the signed package"
[[ $out == *"a certificate table of "*" ends the file"* && $out == *"verdict: accepted"* ]] || fail "list output: $out"
echo "$out"

# One changed byte in the chain's last "msilog" (its key record): rejected, with the reason.
cp "$work/signed.exe" "$work/changed.exe"
offset=$(grep -obUa msilog "$work/changed.exe" | tail -1 | cut -d: -f1)
printf 'M' | dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
status=0
err=$(wine_tool "$tailpack" verify "$(windows_path "$work/changed.exe")" 2>&1 >/dev/null) || status=$?
[[ $status == 1 && $err == *"not accepted: digest mismatch in record 3 read (at file offset $offset)"* ]] ||
  fail "verify of a changed package: status $status, $err"

out=$(TAILPACK_SIGNED_PACKAGE=$(windows_path "$work/signed.exe") wine_tool "$tests" --gtest_filter='signed_package.*') ||
  { echo "$out"; fail "signed-package tests"; }
[[ $out != *SKIPPED* ]] || { echo "$out"; fail "signed-package tests were skipped"; }
echo "$out" | tail -1
