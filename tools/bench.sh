#!/usr/bin/env bash
# Builds the benchmark preset, runs every benchmark once (five repetitions
# each) and prints each figure as a ratio against its yardstick from the same
# run. Extra arguments go to the benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${VELMORA_JOBS:-$(nproc)}
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" >/dev/null

results=$(mktemp)
trap 'rm -f "$results"' EXIT
build/bench/bench/velmora_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json "$@"

python3 - "$results" <<'EOF'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}

def median(prefix):
    for run in runs:
        if run.get("aggregate_name") == "median" and run["run_name"].startswith(prefix):
            return run["real_time"] * scale[run["time_unit"]], run
    return None, None

def cpu(run):
    return run["cpu_time"] * scale[run["time_unit"]]

def line(label, value, unit=" ms"):
    print(f"  {label:<44} {value:>10.3f}{unit}")

print("\nMedians of five repetitions (wall-clock time):")
full, run = median("BM_FullRenderingSet")
if full is not None:
    print("46-image set of one 640 x 480 photo, rendered and encoded in memory on one core")
    line("time", full)
    line("processor time (less disturbed by other work)", cpu(run))
    line("against the 100 ms goal", full / 100.0, "x")
png, _ = median("BM_EncodePng")
libpng, _ = median("BM_LibpngLevel0NoFilter")
copy, _ = median("BM_MemcpyPixels")
if None not in (png, libpng, copy):
    print("encode_png of a 640 x 480 image")
    line("time", png * 1e3, " us")
    line("against libpng level 0, no filter", png / libpng, "x")
    line("against memcpy of the pixels", png / copy, "x")
ours, ours_run = median("BM_DemosaicBaseline")
opencv, opencv_run = median("BM_OpenCvBayerBilinear")
if None not in (ours, opencv):
    print("demosaic_baseline of a 640 x 480 plane")
    line("time", ours * 1e3, " us")
    line("against OpenCV's bilinear Bayer conversion", ours / opencv, "x")
    line("the same in processor time", cpu(ours_run) / cpu(opencv_run), "x")
for name, what in (("EveryOption", "every option"), ("DefaultOptions", "default options")):
    took, run = median("BM_SimulatedDownload" + name)
    if took is None:
        continue
    print(f"Photo phase of a simulated download with {what}, full-speed USB timing")
    line("time", took)
    line("camera's own time (the simulator's clock)", run["camera_ms"])
    line("what the clock's sleeps took", run["slept_ms"])
    line("against the camera's own time", took / run["camera_ms"], "x")
EOF
