#!/usr/bin/env bash
# The CPack route, as a vendor takes it on Linux: samples/cpack_msi is built with the mingw
# toolchain against an installed Tailrun, `cpack -G External` makes TailrunHello-1.2.0-win32.exe,
# which verifies and, run with /s under Wine, installs the program through Wine's msiexec into
# Program Files (it runs and exits with its own code); `msiexec /x` removes it again.
# Usage: cpack_msi_test.sh BUILD_DIR SOURCE_DIR (a native build configured with TAILRUN_PACKAGED_STUB)
# Exit 77 (skipped) without Wine or wixl.
set -euo pipefail
build=$1 source=$2
for tool in wine wixl wixl-heat i686-w64-mingw32-gcc-posix; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
fail() { echo "FAILED: $*" >&2; exit 1; }
work=$(mktemp -d)
msi=
source "$source/scripts/wine-env"
# Every Wine run is bounded; its output goes through files (scripts/wine-run tells why).
wine_bounded() { timeout 180 "$source/scripts/wine-run" "$@"; }
cleanup() {
  [[ -n $msi ]] && wine_bounded msiexec /x "$msi" /qn >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/samples/cpack_msi" -B "$work/b" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null || fail "configure"
cmake --build "$work/b" >/dev/null || fail "build"
(cd "$work/b" && cpack -G External >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
package=$work/b/TailrunHello-1.2.0-win32.exe
[[ -f $package ]] || fail "no $package; cpack said: $(cat "$work/cpack.log")"

tailpack=$work/prefix/bin/tailpack
"$tailpack" verify "$package" >/dev/null 2>"$work/verify.err" || fail "the package does not verify: $(cat "$work/verify.err")"
listed=$("$tailpack" list --json "$package")
for field in '"product": "TailrunHello"' '"family": "Acme Tools"' '"setup.msi"' '"setup.exe"'; do
  grep -qF "$field" <<<"$listed" || fail "no $field in: $listed"
done
# The MSI as the package carries it, for the removal.
"$tailpack" extract "$package" "$work/x" >/dev/null
msi=$(winepath -w "$work/x/setup.msi")

wine_bounded msiexec /x "$msi" /qn >/dev/null 2>&1 || true  # a leftover of an interrupted run
status=0
wine_bounded "$package" /s >/dev/null 2>&1 || status=$?
[[ $status == 0 ]] || fail "the package exited with $status"
installed=
for folder in "Program Files (x86)" "Program Files"; do
  [[ -f "$WINEPREFIX/drive_c/$folder/Tailrun Hello/hello.exe" ]] && installed="$WINEPREFIX/drive_c/$folder/Tailrun Hello"
done
[[ -n $installed ]] || fail "hello.exe is not in Program Files"
[[ -f $installed/doc/README.txt ]] || fail "README.txt is not in $installed/doc"
status=0
wine_bounded "$installed/hello.exe" >/dev/null 2>&1 || status=$?
[[ $status == 42 ]] || fail "the installed hello.exe exited with $status, not 42"

wine_bounded msiexec /x "$msi" /qn >/dev/null 2>&1 || fail "msiexec /x failed"
msi=
[[ ! -e $installed/hello.exe ]] || fail "msiexec /x left $installed/hello.exe"
echo "cpack -G External: TailrunHello-1.2.0-win32.exe installed hello.exe under Wine, and msiexec /x removed it"
