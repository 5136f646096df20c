#!/usr/bin/env bash
# Benchmark: big packages under Wine against the NSIS peer and against md5sum + cp, flat memory up
# to a 2.5 GiB payload, and tailpack create/verify of a 1.5 GiB input (bench/big_package.py says
# what each figure is). Installs the peer (Debian package `nsis`) when it is missing: the benchmark
# only, never the test path. Reports figures; it is no test and not part of ctest.
#
# Usage: bench/big_package.sh [peer|flat]     (default: both). BENCH_RUNS: runs per case (5).
# Disk: about 8 GiB at the peak (a 2.5 GiB payload, its package and the installer extracted from
# it), all in build/bench-win/bench/big_package and the Wine prefix's temporary folder, removed
# on exit.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host_dir=$root/build/bench-host
win_dir=$root/build/bench-win
bench_dir=$win_dir/bench/big_package

if ! command -v makensis >/dev/null; then
  echo "Installing the peer (nsis)..."
  apt-get install -y --no-install-recommends nsis >/dev/null || echo "cannot install nsis: the peer is skipped"
fi

echo "Building tailpack (host, optimised) and Tailrun (windows)..."
[[ -f $host_dir/CMakeCache.txt ]] || cmake -S "$root" -B "$host_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
[[ -f $win_dir/CMakeCache.txt ]] ||
  cmake -S "$root" -B "$win_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$host_dir" --target tailpack -j2 >/dev/null
cmake --build "$win_dir" --target Tailrun -j2 >/dev/null

# The small installer: a GUI program (no console under Wine) that returns 3010.
mkdir -p "$bench_dir"
tiny=$bench_dir/tiny_installer.exe
printf '#include <windows.h>\nint WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {\n'\
'  (void)a; (void)b; (void)c; (void)d;\n  return 3010;\n}\n' >"$bench_dir/tiny_installer.c"
i686-w64-mingw32-gcc-posix -static -Os -s -mwindows "$bench_dir/tiny_installer.c" -o "$tiny"

# shellcheck source=/dev/null
source "$root/scripts/wine-env"
temp_windows=$(timeout 300 "$root/scripts/wine-run" cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')
temp_unix=$(winepath -u "$temp_windows" 2>/dev/null)
[[ -n $temp_windows && -d $temp_unix ]] || { echo "cannot find the prefix's temporary folder" >&2; exit 1; }

work=$(mktemp -d "$bench_dir/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
only=()
[[ $# -gt 0 ]] && only=(--only "$1")
python3 "$root/bench/big_package.py" --tailpack "$host_dir/tools/tailpack/tailpack" \
  --stub "$win_dir/driver/Tailrun.exe" --tiny "$tiny" --makensis "$(command -v makensis || true)" \
  --work "$work" --wine-temp "$temp_unix" --runs "${BENCH_RUNS:-5}" "${only[@]}"
