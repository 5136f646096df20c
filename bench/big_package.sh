#!/usr/bin/env bash
# Benchmark: a package holding a 256 MiB installer, run silently under Wine.
#
# Compares three wall times, measured in this one run of the script:
#   (a) md5sum + cp of the installer: the floor (one read, one digest, one write of the bytes);
#   (b) the silent package run: stub start, chain walk and digest, extraction, installer launch,
#       wait, removal of the working folder;
#   (c) the bare installer under Wine: what one Wine start-up costs.
# Prints the stub size, the bytes the package adds around the installer, and how the stub read
# the package (from one extra run under WINEDEBUG=+file).
#
# Reports figures; it is no test and not part of ctest. Exits 1 when a run did not do what it
# should (wrong exit code, working folder left behind) or a build step failed, 0 otherwise.
#
# Environment: BENCH_SIZE_MIB (installer size, default 256), BENCH_RUNS (timed runs per case,
# default 3). Disk: about 3 x BENCH_SIZE_MIB at the peak (installer, package, one copy or one
# extracted installer), all removed on exit.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host_dir=$root/build/bench-host
win_dir=$root/build/bench-win
bench_dir=$win_dir/bench/big_package
size_mib=${BENCH_SIZE_MIB:-256}
runs=${BENCH_RUNS:-3}
installer_code=123  # what the tiny installer returns; below 256, so a Linux shell sees all of it
wine_timeout=300

die() {
  echo "big_package: $*" >&2
  exit 1
}

# ---- Builds: the host tailpack and the Windows stub, each in its own directory ----

build() {
  if [[ ! -f $host_dir/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$host_dir" -DCMAKE_BUILD_TYPE=Debug -DTAILRUN_SANITIZE=ON >/dev/null || return 1
  fi
  if [[ ! -f $win_dir/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$win_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || return 1
  fi
  cmake --build "$host_dir" --target tailpack -j2 >/dev/null || return 1
  cmake --build "$win_dir" --target Tailrun -j2 >/dev/null || return 1
}

echo "Building tailpack (host) and Tailrun (windows)..."
build || die "build failed (run: cmake --build $host_dir --target tailpack; cmake --build $win_dir --target Tailrun)"
tailpack=$host_dir/tools/tailpack/tailpack
stub=$win_dir/driver/Tailrun.exe
[[ -x $tailpack && -f $stub ]] || die "build outputs missing: $tailpack, $stub"

# The tiny installer: a GUI program (no console under Wine) that returns a fixed code.
mkdir -p "$bench_dir"
tiny=$bench_dir/tiny_installer.exe
tiny_source=$bench_dir/tiny_installer.c
tiny_text="#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance; (void)previous; (void)command_line; (void)show;
  return $installer_code;
}"
if [[ ! -f $tiny || ! -f $tiny_source || $(cat "$tiny_source") != "$tiny_text" ]]; then
  printf '%s\n' "$tiny_text" >"$tiny_source"
  i686-w64-mingw32-gcc-posix -static -Os -s -mwindows "$tiny_source" -o "$tiny" || die "cannot compile $tiny_source"
fi

# ---- Wine prefix and its temporary folder ----

# shellcheck source=/dev/null
source "$root/scripts/wine-env"
wine_run() { timeout "$wine_timeout" "$root/scripts/wine-run" "$@"; }

# The Unix path of the folder the stub creates its working folder in (its %TEMP%).
temp_windows=$(wine_run cmd /c 'echo %TEMP%' </dev/null 2>/dev/null | tr -d '\r')
temp_unix=$(winepath -u "$temp_windows" 2>/dev/null)
[[ -n $temp_windows && -d $temp_unix ]] || die "cannot find the prefix's temporary folder (got '$temp_windows')"

# Working folders ("QVT<n>") present now, one name a line.
list_working_folders() { find "$temp_unix" -maxdepth 1 -name 'QVT*' -printf '%f\n' 2>/dev/null | sort; }
folders_before=$(list_working_folders)
# Working folders that appeared since the start of the script.
new_working_folders() { comm -13 <(printf '%s\n' "$folders_before" | sed '/^$/d') <(list_working_folders); }

# ---- Big files: removed on every exit, with any working folder a run left behind ----

work=$(mktemp -d "$bench_dir/run.XXXXXX") || die "cannot create a work folder in $bench_dir"
cleanup() {
  rm -rf "$work"
  local name
  while IFS= read -r name; do
    [[ -n $name ]] && rm -rf "${temp_unix:?}/$name"
  done < <(new_working_folders)
}
trap cleanup EXIT
trap 'exit 130' INT TERM

installer=$work/big_installer.exe
package=$work/BigPackage.exe
copy=$work/copy.bin
bytes=$((size_mib * 1024 * 1024))

echo "Making a $size_mib MiB installer (tiny program + random overlay)..."
tiny_size=$(stat -c %s "$tiny")
((bytes > tiny_size)) || die "BENCH_SIZE_MIB too small"
{ cat "$tiny" && head -c $((bytes - tiny_size)) /dev/urandom; } >"$installer" || die "cannot write $installer"

echo "Packing..."
pack_start=$(date +%s.%N)
"$tailpack" create --stub "$stub" --output "$package" --file "installer32:big_installer.exe=$installer" \
  --value executable32=%installer32% --value parameters=/qn >/dev/null || die "tailpack create failed"
pack_end=$(date +%s.%N)

# ---- Timed runs ----

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# Runs "$@" with no input and its output discarded; prints "SECONDS STATUS" (wall time, exit status).
time_command() {
  local start end status
  start=$(date +%s.%N)
  "$@" </dev/null >/dev/null 2>&1
  status=$?
  end=$(date +%s.%N)
  echo "$(seconds_between "$start" "$end") $status"
}

floor_step() { md5sum "$installer" >/dev/null && cp "$installer" "$copy"; }

# One Wine start that is not measured: the server and the prefix's files are warm afterwards.
wine_run "$tiny" </dev/null >/dev/null 2>&1

times_floor=() times_package=() times_bare=()
code_failures=0
for ((i = 1; i <= runs; i++)); do
  read -r seconds status <<<"$(time_command floor_step)"
  times_floor+=("$seconds")
  ((status == 0)) || fail "md5sum/cp run $i failed"
  rm -f "$copy"

  read -r seconds status <<<"$(time_command wine_run "$tiny")"
  times_bare+=("$seconds")
  ((status == installer_code)) || code_failures=$((code_failures + 1))
  ((status == installer_code)) || fail "bare installer run $i: exit code $status, expected $installer_code"

  read -r seconds status <<<"$(time_command wine_run "$package" /s)"
  times_package+=("$seconds")
  ((status == installer_code)) || code_failures=$((code_failures + 1))
  ((status == installer_code)) || fail "package run $i: exit code $status, expected $installer_code"
  left=$(new_working_folders | tr '\n' ' ')
  [[ -z $left ]] || fail "package run $i left working folder(s) in $temp_windows: $left"
done

# ---- One traced run: how the stub reads the package and writes the installer ----

trace=$work/trace.txt
WINEDEBUG=+file wine_run "$package" /s </dev/null >/dev/null 2>"$trace"
traced_status=$?
((traced_status == installer_code)) || code_failures=$((code_failures + 1))
((traced_status == installer_code)) || fail "traced package run: exit code $traced_status, expected $installer_code"
[[ -z $(new_working_folders) ]] || fail "traced package run left a working folder"

# Prints "calls bytes largest" for the ReadFile calls on the package's handle (from the thread
# that opened it until that handle value is handed out again), then the same for WriteFile calls
# on the extracted installer's handle.
summarize_trace() {
  awk '
    function thread(line) { return substr(line, 1, index(line, ":") - 1) }
    /:trace:file:CreateFileW L".*\\\\BigPackage\.exe" GENERIC_READ/ { want = "package"; opener = thread($0); next }
    /:trace:file:CreateFileW L".*\\\\QVT[^"]*\\\\big_installer\.exe" GENERIC_WRITE/ { want = "output"; opener = thread($0); next }
    /:trace:file:CreateFileW returning / {
      t = thread($0); h = $NF
      if (want != "" && t == opener) { handle[want] = t ":" h; want = "" }
      else for (k in handle) if (handle[k] == t ":" h) delete handle[k]
      next
    }
    /:trace:file:(Read|Write)File [0-9A-F]+ / {
      key = thread($0) ":" $2; kind = ($1 ~ /ReadFile$/) ? "package" : "output"
      if (handle[kind] != key) next
      calls[kind]++; sum[kind] += $4; if ($4 > top[kind]) top[kind] = $4
    }
    END { printf "%d %d %d %d %d %d\n", calls["package"], sum["package"], top["package"],
                                       calls["output"], sum["output"], top["output"] }
  ' "$trace"
}
read -r read_calls read_bytes read_largest write_calls write_bytes _ <<<"$(summarize_trace)"

# ---- Figures ----

stub_size=$(stat -c %s "$stub")
stripped=$work/stub-stripped.exe
i686-w64-mingw32-strip -o "$stripped" "$stub" && stripped_size=$(stat -c %s "$stripped") || stripped_size=$stub_size
installer_size=$(stat -c %s "$installer")
package_size=$(stat -c %s "$package")
extra=$((package_size - installer_size))
records=$((extra - stub_size))

stats() {  # best median of the arguments
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f", v[1], m }'
}
read -r floor_best floor_median <<<"$(stats "${times_floor[@]}")"
read -r package_best package_median <<<"$(stats "${times_package[@]}")"
read -r bare_best bare_median <<<"$(stats "${times_bare[@]}")"

kib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1024 }'; }
echo
echo "Installer: $installer_size bytes ($size_mib MiB; tiny program $tiny_size bytes + random overlay)"
echo "Package:   $package_size bytes (packed in $(seconds_between "$pack_start" "$pack_end") s by the host tailpack, Debug+ASan)"
echo "Stub:      $stub_size bytes ($(kib "$stub_size") KiB) as built; $stripped_size bytes ($(kib "$stripped_size") KiB) stripped"
echo "Overhead:  $extra bytes ($(kib "$extra") KiB) over the installer = stub $stub_size + records $records"
echo
printf '%-44s %9s %11s  %s\n' "Wall time ($runs runs each)" "best (s)" "median (s)" "all (s)"
printf '%-44s %9s %11s  %s\n' "(a) md5sum + cp of the installer (floor)" "$floor_best" "$floor_median" "${times_floor[*]}"
printf '%-44s %9s %11s  %s\n' "(b) package run under Wine, /s" "$package_best" "$package_median" "${times_package[*]}"
printf '%-44s %9s %11s  %s\n' "(c) bare installer under Wine" "$bare_best" "$bare_median" "${times_bare[*]}"
awk -v a="$floor_best" -v b="$package_best" -v c="$bare_best" -v mib="$size_mib" 'BEGIN {
  printf "%-44s %9.3f\n", "(b) - (c): the stub'"'"'s own work (best)", b - c
  printf "%-44s %9.2f\n", "(b) / (a) (best)", b / a
  if (b - c > 0) printf "%-44s %9.0f\n", "MiB/s through the stub, ((b) - (c)) basis", mib / (b - c)
  printf "%-44s %9.0f\n", "MiB/s floor, (a) basis", mib / a
}'
echo
echo "Traced run (WINEDEBUG=+file): package read in $read_calls ReadFile calls, $read_bytes bytes" \
  "(largest $read_largest); installer written in $write_calls WriteFile call(s), $write_bytes bytes."
# Each record once: one read of the whole payload, and in all no more than the package past the
# stub image plus the 1 MiB block of the tail marker search and the 102 bytes of PE headers.
read_limit=$((package_size - stub_size + 1048576 + 102))
if ((read_largest == installer_size && read_bytes <= read_limit)); then
  echo "Each record read once: yes (payload in one read; total $read_bytes <= $read_limit)"
else
  fail "package reads: largest $read_largest (installer $installer_size), total $read_bytes (limit $read_limit)"
fi
((write_calls == 1 && write_bytes == installer_size)) || fail "installer not written in one $installer_size-byte write"

echo "Exit codes: $((2 * runs + 1 - code_failures)) of $((2 * runs + 1)) Wine runs returned $installer_code;" \
  "working folders left in $temp_windows: $(new_working_folders | wc -l)"
if ((failures > 0)); then
  echo "big_package: $failures check(s) failed"
  exit 1
fi
echo "big_package: all checks passed"
