#!/usr/bin/env bash
# The differential check on N seeded packages (default 500): for each, tailpack verify's verdict and
# explain's launch against what the stub does under Wine. Prints the count compared, the seed and
# every disagreement. Builds what it needs with the host and windows presets.
#
# Usage: bench/differential.sh [N]      TAILRUN_DIFFERENTIAL_SEED: the generator's seed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
count=${1:-500}
cd "$root"
scripts/setup
cmake --preset host >/dev/null && cmake --build --preset host --target tailpack -j2 >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target Tailrun tailpack fake_installer e2e_runner box_watcher stub_without_product -j2 >/dev/null
# About 1.5 s a package; the bound leaves room for a slow machine.
TAILRUN_DIFFERENTIAL_COUNT=$count timeout $((120 + count * 6)) \
  python3 -B tests/e2e/run_e2e.py --build-dir build/windows --tools-dir build/windows/tests/e2e --only differential
