#!/usr/bin/env bash
# Windows build, under Wine: `cmake --install` puts tailpack.exe in bin/ and the stub in
# share/tailrun/, and the installed tailpack.exe finds that stub when create is given no --stub.
# Usage: install_wine.sh BUILD_DIR WINE_RUN
set -euo pipefail
build=$1 wine_run=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows_path() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for installed in bin/tailpack.exe share/tailrun/Tailrun.exe; do
  [[ -f $work/prefix/$installed ]] || fail "cmake --install did not put $installed in place"
done
# Any program image serves as the installer: the stub launches only those.
cp "$work/prefix/share/tailrun/Tailrun.exe" "$work/setup.exe"
out=$(timeout 120 "$wine_run" "$work/prefix/bin/tailpack.exe" create --output "$(windows_path "$work/p.exe")" \
  --file "installer32=$(windows_path "$work/setup.exe")" --value 'executable32=%installer32%' </dev/null) ||
  fail "create without --stub: $out"
cmp -n "$(stat -c %s "$work/prefix/share/tailrun/Tailrun.exe")" "$work/prefix/share/tailrun/Tailrun.exe" "$work/p.exe" ||
  fail "the package does not start with the installed stub"
version=$(timeout 120 "$wine_run" "$work/prefix/bin/tailpack.exe" --version </dev/null)
[[ $version == "tailpack "[0-9]*.[0-9]*.[0-9]* ]] || fail "--version printed: $version"
echo "installed tailpack.exe used the installed stub; $version"
