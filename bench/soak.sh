#!/usr/bin/env bash
# Faults as figures: the stub under kills, bursts of simultaneous starts and full disks, under Wine
# (bench/soak.py says how). Reports; it is no test and not part of ctest.
#
# Usage: bench/soak.sh   SOAK_RUNS: runs at least (500). Disk: about 0.6 GiB, removed. A full disk
# needs root (a tmpfs is mounted); without it those rounds are left out and the report says so.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/windows
[[ -f $build/CMakeCache.txt ]] || cmake --preset windows -S "$root" >/dev/null
cmake --build "$build" --target Tailrun e2e_runner fake_installer -j2 >/dev/null
work=$(mktemp -d "$build/soak.XXXXXX")
trap 'umount "$work/small" 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
prefix=${TAILRUN_BENCH_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tailrun/wine-prefix-bench}
python3 -B "$root/bench/soak.py" --build-dir "$build" --work "$work" --wineprefix "$prefix" --runs "${SOAK_RUNS:-500}"
