#!/usr/bin/env bash
# Benchmark: `tailpack create` of one big input, fresh and over its earlier output, against
# `md5sum` + `cp` of the same input, each
# followed by `sync` (so neither leaves its writing to the next), best of BENCH_RUNS runs, and
# tailpack's peak memory. create reads each input once, hashing the bytes it writes. Reports
# figures; no test.
# Usage: bench/create.sh [SIZE_MIB]   (default 1024). Disk: about 3x SIZE_MIB in build/bench-create.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
size_mib=${1:-1024}
runs=${BENCH_RUNS:-3}
build=$root/build/bench-host
work=${BENCH_DIR:-$root/build/bench-create}
tailpack=${TAILPACK:-}  # a tailpack to measure instead of building one
if [[ -z $tailpack ]]; then
  [[ -f $build/CMakeCache.txt ]] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" --target tailpack -j2 >/dev/null
  tailpack=$build/tools/tailpack/tailpack
fi
stub=${TAILRUN_STUB:-$root/build/windows/driver/Tailrun.exe}
[[ -f $stub ]] || { echo "no stub at $stub: build the windows preset or set TAILRUN_STUB" >&2; exit 1; }

mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
input=$work/input.bin
head -c $((size_mib << 20)) /dev/urandom >"$input"
sync

# The best wall time of `runs` runs of "$1" followed by sync, in seconds; with "$2" = in-place,
# over the package that the command made before (as a developer rebuilds it), else into nothing.
best() {
  local best_time="" t
  for ((i = 0; i < runs; i++)); do
    rm -f "$work/copy.bin"
    if [[ ${2:-} == in-place ]]; then bash -c "$1" >/dev/null; else rm -f "$work/out.exe"; fi
    sync
    t=$( { /usr/bin/time -f %e bash -c "$1 && sync" >/dev/null; } 2>&1 | tail -1)
    [[ -z $best_time ]] || (($(echo "$t < $best_time" | bc))) && best_time=$t
  done
  echo "$best_time"
}

create_cmd="'$tailpack' create --stub '$stub' --output '$work/out.exe' --file 'installer32=$input' \
  --value executable32=%installer32% --unchecked-launch"
peer_cmd="md5sum '$input' >/dev/null && cp '$input' '$work/copy.bin'"
t_create=$(best "$create_cmd")
t_in_place=$(best "$create_cmd" in-place)
t_peer=$(best "$peer_cmd")
rss=$( { /usr/bin/time -f %M bash -c "$create_cmd" >/dev/null; } 2>&1 | tail -1)
echo "input ${size_mib} MiB, best of $runs (each with sync):"
echo "  tailpack create     ${t_create} s (peak ${rss} KiB)"
echo "  ... over its output ${t_in_place} s"
echo "  md5sum + cp         ${t_peer} s"
echo "  ratio fresh / md5sum + cp      $(echo "scale=2; $t_create / $t_peer" | bc)"
echo "  ratio in place / fresh         $(echo "scale=2; $t_in_place / $t_create" | bc)"
