#!/usr/bin/env bash
# The soak: a thousand refresh and download cycles with random camera faults,
# in the native build (peak memory flat after the hundredth cycle) and with
# the sanitizers (no leak, nothing left open).
# usage: tools/soak.sh [CYCLES]
set -uo pipefail
cd "$(dirname "$0")/.."
cycles=${1:-1000}
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
status=0
for preset in native sanitize; do
  echo "==== $preset"
  cmake --preset "$preset" >/dev/null && cmake --build build/"$preset" --target soak -j "${VELMORA_JOBS:-2}" >/dev/null &&
    build/"$preset"/tests/soak "$cycles" | tail -2 || status=1
done
exit $status
