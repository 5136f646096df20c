#!/usr/bin/env bash
# The Debian package: `cpack -G DEB` in BUILD_DIR gives tailrun_<version>_amd64.deb; unpacked with
# `dpkg -x` into a scratch root, its tailpack runs, is stripped, has its man page and completion,
# and finds the packaged stub when create is given no --stub.
# Usage: deb_test.sh BUILD_DIR (a native build configured with TAILRUN_PACKAGED_STUB)
set -euo pipefail
build=$1
fail() { echo "FAILED: $*" >&2; exit 1; }
command -v dpkg >/dev/null || { echo "dpkg is not available"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && timeout 240 cpack -G DEB -B "$work/out" >/dev/null) || fail "cpack -G DEB"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$work/out/tailrun_${version}_amd64.deb
[[ -f $deb ]] || fail "no $deb among: $(ls "$work/out")"
dpkg -x "$deb" "$work/root"
root=$work/root
for file in usr/bin/tailpack usr/share/tailrun/Tailrun.exe usr/share/man/man1/tailpack.1.gz \
            usr/share/bash-completion/completions/tailpack usr/lib/cmake/Tailrun/TailrunConfig.cmake \
            usr/share/tailrun/TailrunMsiSetup.exe usr/lib/cmake/Tailrun/TailrunCPackExternal.cmake; do
  [[ -f $root/$file ]] || fail "the package lacks /$file"
done
[[ $("$root/usr/bin/tailpack" --version) == "tailpack $version" ]] || fail "tailpack --version"
file "$root/usr/bin/tailpack" | grep -q ', stripped' || fail "/usr/bin/tailpack is not stripped"
zcat "$root/usr/share/man/man1/tailpack.1.gz" | grep -q '^\.TH TAILPACK' || fail "the man page has no title"
for command in create list verify extract explain; do
  zcat "$root/usr/share/man/man1/tailpack.1.gz" | grep -q "^\.SS tailpack $command" || fail "the man page lacks $command"
done
man -l <(zcat "$root/usr/share/man/man1/tailpack.1.gz") 2>/dev/null | grep -q -- '--allow-changed-stub' ||
  ! command -v man >/dev/null || fail "the man page does not show verify's options"
bash -n "$root/usr/share/bash-completion/completions/tailpack" || fail "the completion is no bash script"
# create without --stub takes the packaged stub: the package starts with it.
cp "$root/usr/share/tailrun/Tailrun.exe" "$work/setup.exe"
"$root/usr/bin/tailpack" create --output "$work/p.exe" --file "installer32=$work/setup.exe" \
  --value 'executable32=%installer32%' >/dev/null || fail "create without --stub"
cmp -n "$(stat -c %s "$root/usr/share/tailrun/Tailrun.exe")" "$root/usr/share/tailrun/Tailrun.exe" "$work/p.exe" ||
  fail "the package does not start with the packaged stub"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; tailpack $(stat -c %s "$root/usr/bin/tailpack") bytes, stripped"
