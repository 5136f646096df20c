#!/usr/bin/env bash
# find_package(Tailrun) from an install prefix: samples/cmake_package builds a verified, branded
# package, does nothing on a second build, and makes the package again when an input changes.
# Usage: cmake_package_test.sh BUILD_DIR SOURCE_DIR (a native build configured with TAILRUN_PACKAGED_STUB)
set -euo pipefail
build=$1 source=$2
fail() { echo "FAILED: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
tailpack=$work/prefix/bin/tailpack
cp "$work/prefix/share/tailrun/Tailrun.exe" "$work/installer.exe"  # a program image to carry
echo "first" >"$work/readme.txt"
cmake -S "$source/samples/cmake_package" -B "$work/b" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DINSTALLER="$work/installer.exe" -DREADME="$work/readme.txt" >/dev/null || fail "configure"
cmake --build "$work/b" >/dev/null || fail "build"
package=$work/b/Setup.exe
"$tailpack" verify "$package" >/dev/null || fail "the package does not verify"
listed=$("$tailpack" list --json "$package")
grep -q '"product": "Acme Setup"' <<<"$listed" || fail "no brand in: $listed"
grep -q '"parameters"' <<<"$listed" || fail "no parameters in: $listed"
made=$(stat -c %Y.%i "$package")
cmake --build "$work/b" >/dev/null
[[ $(stat -c %Y.%i "$package") == "$made" ]] || fail "a second build made the package again"
echo "second" >"$work/readme.txt"
cmake --build "$work/b" >/dev/null
[[ $(stat -c %Y.%i "$package") != "$made" ]] || fail "a changed input did not make the package again"
"$tailpack" extract "$package" "$work/x" >/dev/null
[[ $(cat "$work/x/readme.txt") == second ]] || fail "the package does not carry the changed file"
echo "find_package(Tailrun): package built, kept, and made again when an input changed"
