#!/usr/bin/env bash
# The main job on the built-in simulated camera: find and open it, read its
# directory five times, and download every photo into a new folder.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/native/velmora ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target velmora_cli
fi
velmora=build/native/velmora

echo "== The camera, its descriptors and one status exchange"
$velmora probe --simulated-camera
echo
echo "== The photo list (five directory reads, merged)"
$velmora list --simulated-camera
