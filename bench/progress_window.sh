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
cmake --build "$build" --target Tailrun stub_quick_progress e2e_runner fake_installer window_probe -j2 >/dev/null
work=$(mktemp -d "$build/progress-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
prefix=${TAILRUN_BENCH_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tailrun/wine-prefix-bench}
echo "A 1.5 GiB package (goal: window/silent at most 1.05):"
python3 -B "$root/bench/progress_window.py" --build-dir "$build" --work "$work" --wineprefix "$prefix" \
  --runs "${BENCH_RUNS:-3}"
# What showing the window costs at all: the test stub shows it after 50 ms, on a package that it
# reads in well under a second; the difference is the window's cost, nearly all of it the one-time
# start of the display (under Wine: its IME, display driver and theme libraries).
echo "The window's one-time cost: a 64 MiB package, the test stub that shows its window after 50 ms:"
python3 -B "$root/bench/progress_window.py" --build-dir "$build" --work "$work" --wineprefix "$prefix" \
  --runs "${BENCH_RUNS:-3}" --size-mib 64 --stub "$build/tests/e2e/stub_quick_progress.exe"
