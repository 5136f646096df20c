#!/usr/bin/env bash
# Benchmark: a package of many small files under Wine, silent (/s), median of BENCH_RUNS runs: the
# time until the installer starts (the extraction) and from then until the stub has ended (the
# installer, which exits at once, and the removal of the working folder), each less the same times
# of a package with one file (Wine's start, the installer's start); and tailpack verify of the
# package. The installer is the demo's sample installer: its report in %TEMP% tells when it
# started. Reports figures; no test.
# Usage: bench/many_files.sh [COUNT] [BYTES]   (default 10000 files of 10 bytes)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
count=${1:-10000}
bytes=${2:-10}
runs=${BENCH_RUNS:-3}
stub=${TAILRUN_STUB:-$root/build/windows/driver/Tailrun.exe}
installer=$root/build/windows/samples/sample_installer.exe
for need in "$stub" "$installer"; do
  [[ -f $need ]] || { echo "no $need: build the windows preset" >&2; exit 1; }
done
build=$root/build/bench-host
tailpack=${TAILPACK:-}
if [[ -z $tailpack ]]; then
  [[ -f $build/CMakeCache.txt ]] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" --target tailpack -j2 >/dev/null
  tailpack=$build/tools/tailpack/tailpack
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/scripts/wine-env"

# A package of `$2` files of `bytes` bytes each, beside the installer.
make_package() {
  local files=$work/files-$2 entries=()
  mkdir -p "$files"
  head -c "$bytes" /dev/zero | tr '\0' x >"$work/data"
  for ((i = 0; i < $2; i++)); do
    cp "$work/data" "$files/f$i.txt"
    entries+=(--file ":f$i.txt=$files/f$i.txt")
  done
  "$tailpack" create --stub "$stub" --output "$1" --file "installer32=$installer" \
    --value 'executable32=%installer32%' "${entries[@]}" >/dev/null
}

temp=$(winepath -u "$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')")
report=$temp/sample_installer.txt
# One run of package $1: "<until the installer started> <from then until the end>" in seconds.
run_once() {
  rm -f "$report"
  local start end started
  start=$(date +%s.%N)
  timeout 1800 wine "$1" /s </dev/null >/dev/null 2>&1 || { echo "the package failed" >&2; exit 1; }
  end=$(date +%s.%N)
  started=$(stat -c %.9Y "$report")
  echo "$(echo "$started - $start" | bc) $(echo "$end - $started" | bc)"
}
# The medians of `runs` runs of package $1: "<until started> <after>".
medians() {
  local firsts=() seconds=() line
  for ((r = 0; r < runs; r++)); do
    line=$(run_once "$1")
    firsts+=("${line% *}")
    seconds+=("${line#* }")
  done
  echo "$(printf '%s\n' "${firsts[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p") \
$(printf '%s\n' "${seconds[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")"
}

make_package "$work/one.exe" 1
make_package "$work/many.exe" "$count"
read -r base_start base_after <<<"$(medians "$work/one.exe")"
read -r many_start many_after <<<"$(medians "$work/many.exe")"
verify_start=$(date +%s.%N)
"$tailpack" verify "$work/many.exe" >/dev/null 2>&1
verify=$(echo "$(date +%s.%N) - $verify_start" | bc)
echo "$count files of $bytes bytes under Wine, median of $runs runs (less a one-file package's times):"
printf '  extracted (until the installer starts)   %6.2f s   (one file: %.2f s)\n' \
  "$(echo "$many_start - $base_start" | bc)" "$base_start"
printf '  installer start, exit and removal        %6.2f s   (one file: %.2f s)\n' \
  "$(echo "$many_after - $base_after" | bc)" "$base_after"
printf '  tailpack verify (native)                 %6.2f s\n' "$verify"
