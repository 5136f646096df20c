#!/usr/bin/env bash
# MD5 figures: builds md5_bench optimised (-O2, native Linux) and runs it; with a Windows build
# directory as the second argument, also runs its md5_bench.exe under Wine (md5_context only).
# Usage: bench/md5.sh [MiB] [WINDOWS_BUILD_DIR]     Output goes to ${BENCH_DIR:-build/bench}.
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-256}
out=${BENCH_DIR:-build/bench}
mkdir -p "$out"
${CXX:-g++} -std=c++17 -O2 -I. bench/md5_bench.cpp bench/external_tools_posix.cpp package/md5.cpp -o "$out/md5_bench"
echo "== native (g++ -O2)"
"$out/md5_bench" "$mib"
if [[ -n ${2:-} && -x $2/bench/md5_bench.exe ]]; then
  echo "== Windows build under Wine ($2)"
  timeout 300 scripts/wine-run "$2/bench/md5_bench.exe" "$mib"
fi
