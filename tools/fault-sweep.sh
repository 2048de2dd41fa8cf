#!/usr/bin/env bash
# The whole fault sweep (every transfer position of refresh, preview and
# download with every fault kind, every sequence jammed, every file operation
# of a download failed, the full disk and collision cases) in the native
# build and under the sanitizers, with its figures. CI runs the whole sweep
# natively and every seventh position under the sanitizers.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
status=0
for preset in native sanitize; do
  echo "==== $preset"
  if cmake --preset "$preset" >/dev/null && cmake --build build/"$preset" --target test_ops -j "${VELMORA_JOBS:-2}" >/dev/null; then
    VELMORA_SWEEP_STRIDE=1 build/"$preset"/tests/test_ops --gtest_filter='FaultSweep.*:DiskFaults.*' |
      grep -E '^[a-z].*(runs|documented)|PASSED|FAILED' || status=1
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  else
    status=1
  fi
done
exit $status
