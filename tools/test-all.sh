#!/usr/bin/env bash
# Builds and runs every test: native, native with sanitizers, and the Windows
# build under Wine in a headless X server. Fails if any of them fails.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${VELMORA_JOBS:-$(nproc)}
failed=()

run_suite() {
  local preset=$1
  echo "==== $preset: configure and build"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
    failed+=("$preset (build)")
    return
  fi
  echo "==== $preset: tests"
  if ! ctest --preset "$preset"; then failed+=("$preset"); fi
}

run_suite native
run_suite sanitize

# One X server and one Wine server for all Windows test programs.
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-velmora}
if [ ! -d "$WINEPREFIX" ]; then wine wineboot -i >/dev/null 2>&1 || true; fi
run_suite windows
wineserver -k >/dev/null 2>&1 || true
kill "$xvfb_pid" >/dev/null 2>&1 || true

echo
if [ ${#failed[@]} -eq 0 ]; then
  echo "All test suites passed: native, sanitize, windows (Wine)."
  exit 0
fi
echo "FAILED: ${failed[*]}"
exit 1
