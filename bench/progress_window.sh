#!/usr/bin/env bash
# Benchmark: what the progress window costs a long run (bench/progress_window.py says how it is
# measured). Uses the Windows build of the windows preset (build/windows), its own Wine prefix and
# an Xvfb display. Reports figures; it is no test and not part of ctest.
#
# Usage: bench/progress_window.sh   BENCH_RUNS: runs per case (3). Disk: about 3.2 GiB, removed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/windows
[[ -f $build/CMakeCache.txt ]] || cmake --preset windows -S "$root" >/dev/null
cmake --build "$build" --target Tailrun e2e_runner fake_installer window_probe -j2 >/dev/null
work=$(mktemp -d "$build/progress-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
python3 -B "$root/bench/progress_window.py" --build-dir "$build" --work "$work" \
  --wineprefix "${TAILRUN_BENCH_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tailrun/wine-prefix-bench}" \
  --runs "${BENCH_RUNS:-3}"
