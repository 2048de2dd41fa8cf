#!/usr/bin/env python3
"""velmora list and probe on the simulated camera: the list equals the parsed
directory, numbered from 1, and every scenario ends with its documented
message and exit status."""
import os
import subprocess
import sys
import tempfile

VELMORA = sys.argv[1]
ENV = dict(os.environ, VELMORA_SIM_CLOCK="virtual")
passed = failed = 0


def run(*args):
    return subprocess.run([VELMORA, *args], capture_output=True, text=True, env=ENV, timeout=120)


def check(name, condition, detail=""):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print(f"FAIL {name}: {detail}")


NO_CAMERA = "velmora: No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding."
ALL_FAILED = "velmora: All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it."
SCENARIOS = {
    "": (0, None),
    "flaky-directory": (0, None),
    "jammed": (0, None),
    "photo-timeout": (0, None),
    "stuck-jam": (1, ALL_FAILED),
    "no-ack": (1, ALL_FAILED),
    "variant-010f": (1, "velmora: Active reads have only been verified for USB 093A:010E (not this variant)"),
    "no-winusb": (1, NO_CAMERA),
    "disconnected": (1, NO_CAMERA),
}

with tempfile.TemporaryDirectory() as tmp:
    folder = os.path.join(tmp, "camera")
    dumped = run("dump-camera-image", folder)
    check("dump", dumped.returncode == 0, dumped.stderr)
    parsed = run("pat", os.path.join(folder, "directory.bin"))
    expected = [f"{int(line.split(' ', 1)[0]) + 1} {line.split(' ', 1)[1]}" for line in parsed.stdout.splitlines()]
    check("pat lines", len(expected) == 7, parsed.stdout)

    listed = run("list", f"--simulated-camera={folder}")
    check("folder list", listed.returncode == 0 and listed.stdout.splitlines() == expected, listed.stdout)
    check("progress on stderr", "Reading camera directory (observation 5 of 5)..." in listed.stderr, listed.stderr)

    for scenario, (status, message) in SCENARIOS.items():
        option = "--simulated-camera" + (f"={scenario}" if scenario else "")
        result = run("list", option)
        check(f"{scenario} status", result.returncode == status, f"{result.returncode} {result.stderr}")
        if message:
            last = result.stderr.strip().splitlines()[-1] if result.stderr.strip() else ""
            check(f"{scenario} message", last == message, last)
            check(f"{scenario} no list", result.stdout == "", result.stdout)
        else:
            check(f"{scenario} list", result.stdout.splitlines() == expected, result.stdout)

    probe = run("probe", "--simulated-camera")
    check("probe", probe.returncode == 0 and "VID:PID 093A:010E" in probe.stdout
          and '"initial status / status response"' in probe.stdout, probe.stdout)
    for args in (["list", "--simulated-camera=no-such-thing"], ["list", "--bogus"], ["list", "--simulated-camera="]):
        result = run(*args)
        check(f"usage {args}", result.returncode == 2, f"{result.returncode} {result.stderr}")

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
