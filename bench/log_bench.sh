#!/usr/bin/env bash
# Shared-log figures: PROCESSES Windows processes (default 4) append LINES lines each (default
# 1000) to one log at the same time under Wine; prints the lines per second and checks that every
# line is in the file, whole, unmixed and in order per writer.
# Usage: bench/log_bench.sh [WINDOWS_BUILD_DIR] [PROCESSES] [LINES]
# Output goes to ${BENCH_DIR:-build/bench}.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
processes=${2:-4}
lines=${3:-1000}
out=$(realpath -m "${BENCH_DIR:-build/bench}")
mkdir -p "$out"
rm -f "$out/bench.log.txt"
if [[ ! -f $build/bench/log_bench.exe ]]; then
  echo "log_bench.exe is not built in $build (cmake --build --preset windows --target log_bench)" >&2
  exit 1
fi
timeout 300 scripts/wine-run "$build/bench/log_bench.exe" "Z:${out//\//\\}\\bench" "$processes" "$lines"
python3 - "$out/bench.log.txt" "$processes" "$lines" <<'PY'
import re, sys
path, processes, lines = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, "rb").read()
assert data.startswith(b"\xEF\xBB\xBF"), "no byte order mark"
body = data[3:].decode("ascii")
assert body.endswith("\r\n"), "the last line is cut"
pattern = re.compile(r"\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}    W(\d+) (\d{6}) "
                     r"abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789")
following = {}
count = 0
for line in body.split("\r\n")[:-1]:
    match = pattern.fullmatch(line)
    assert match, "a torn or mixed line: %r" % line
    writer, number = int(match.group(1)), int(match.group(2))
    assert number == following.get(writer, 0), "writer %d: line %d out of order" % (writer, number)
    following[writer] = number + 1
    count += 1
assert count == processes * lines and all(following.get(w) == lines for w in range(processes)), \
    "%d lines, expected %d" % (count, processes * lines)
print("check: all %d lines present, whole, unmixed and in order per writer" % count)
PY
