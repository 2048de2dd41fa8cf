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

# The benchmarks are built, not run, so that a change cannot silently break them.
echo "==== bench: build"
if ! cmake --preset bench >/dev/null || ! cmake --build --preset bench -j "$jobs" >/dev/null; then
  failed+=("bench (build)")
fi

# A few seconds of every fuzz target, after its seed corpus and the inputs of
# fixed findings (tools/fuzz.sh SECONDS runs longer campaigns).
echo "==== fuzz: smoke run of every target"
if ! tools/fuzz.sh "${VELMORA_FUZZ_SECONDS:-5}"; then failed+=("fuzz smoke"); fi

# One X server and one Wine server for all Windows test programs.
display=${VELMORA_TEST_DISPLAY:-:$((90 + RANDOM % 9))}
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-velmora}
if [ ! -d "$WINEPREFIX" ]; then wine wineboot -i >/dev/null 2>&1 || true; fi
run_suite windows

# The same download on both builds must give byte-identical files. (Both
# downloads exit 1: the camera's non-still item is skipped and counted.)
echo "==== windows and native: identical downloads from the simulated camera"
compare_dir=$(mktemp -d)
every_render=(--simulated-camera --experimental --extreme-glitch --baseline --historical-mars --legacy-proc
              --all-bayer-patterns --sets brighter,more-color,lower-contrast,stronger-destripe)
VELMORA_SIM_CLOCK=virtual build/native/velmora download --all --to "$compare_dir/native" "${every_render[@]}" \
  >/dev/null 2>&1
VELMORA_SIM_CLOCK=virtual tools/wine-run build/windows/velmora-cli.exe download --all \
  --to "Z:${compare_dir//\//\\}\\windows" "${every_render[@]}" >/dev/null 2>&1
sums() { (cd "$1" 2>/dev/null && md5sum -- * | awk '{print $1}' | sort); }
native_sums=$(sums "$compare_dir/native")
if [ -n "$native_sums" ] && [ "$native_sums" = "$(sums "$compare_dir/windows")" ]; then
  echo "$(echo "$native_sums" | wc -l) files identical on both builds: 1 passed, 0 failed"
else
  echo "downloads differ between the builds: 0 passed, 1 failed"
  failed+=("cross-build comparison")
fi
rm -rf "$compare_dir"
wineserver -k >/dev/null 2>&1 || true
kill "$xvfb_pid" >/dev/null 2>&1 || true

echo
if [ ${#failed[@]} -eq 0 ]; then
  echo "All test suites passed: native, sanitize, bench build, fuzz smoke, windows (Wine)."
  exit 0
fi
echo "FAILED: ${failed[*]}"
exit 1
