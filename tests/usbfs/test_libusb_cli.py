"""velmora on the real USB stack: libusb talks usbfs to an emulated device
(umockdev) answered by the simulated camera. Each run is compared with the
same command through the in-process simulated camera: the same list, the same
downloaded files byte for byte once time stamps are masked, the same
results and texts for the faults a wire can have; and the emulated device
receives only the camera's allowed commands.

usage: test_libusb_cli.py VELMORA EMULATOR"""
import os
import re
import subprocess
import sys
import tempfile

VELMORA, EMULATOR = sys.argv[1], sys.argv[2]
EVERY_OPTION = ["--experimental", "--extreme-glitch", "--baseline", "--historical-mars", "--legacy-proc",
                "--all-bayer-patterns", "--sets", "brighter,more-color,lower-contrast,stronger-destripe",
                "--save-transfer", "--save-bayer", "--save-usb-log", "--save-metadata", "--dated-folder"]
# The texts that name Device Manager and the WinUSB binding have Linux counterparts.
LINUX_TEXTS = {
    "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.":
        "No MR97310 camera found. Check the cable, and that lsusb lists 093a:010e.",
}
# A command the camera accepts: the status request, the token, or the 0x19 prefix and one value.
ALLOWED_WRITE = re.compile(r"^write (21|19|19 [0-9a-f]{2})$")

tally = {"passed": 0, "failed": 0}


def check(name, ok, detail=""):
    tally["passed" if ok else "failed"] += 1
    if not ok:
        print(f"FAIL {name}: {detail}")


def mask(text):
    """Time stamps in names and texts, elapsed times in transfer records."""
    text = re.sub(r"\d{4}-\d{2}-\d{2}_\d{2}", "DATE_NN", text)
    text = re.sub(r"\d{12}", "TIMESTAMP", text)
    return re.sub(r"\+\d+ ?ms", "+N ms", text)


def in_process(camera, args):
    option = "--simulated-camera" + (f"={camera}" if camera else "")
    env = dict(os.environ, VELMORA_SIM_CLOCK="virtual")
    return subprocess.run([VELMORA, *args, option], capture_output=True, text=True, env=env)


def through_usb(camera, args, report, extra=()):
    command = [EMULATOR, *extra, f"--report={report}"] + ([f"--camera={camera}"] if camera else [])
    return subprocess.run(command + ["--", VELMORA, *args], capture_output=True, text=True)


def device_saw_only_allowed_commands(name, report):
    with open(report) as f:
        lines = f.read().splitlines()
    bad = [line for line in lines if not ALLOWED_WRITE.match(line)]
    check(f"{name}: device saw only allowed commands", not bad, bad[:5])


def folder_contents(folder):
    contents = {}
    for root, _, files in os.walk(folder):
        for file in files:
            path = os.path.join(root, file)
            with open(path, "rb") as f:
                data = f.read()
            if file.endswith(".txt"):
                data = mask(data.decode("utf-8")).encode("utf-8")
            contents[mask(os.path.relpath(path, folder))] = data
    return contents


def compare_runs(name, expected, actual, linux_texts=False):
    want_err = mask(expected.stderr)
    if linux_texts:
        for windows, linux in LINUX_TEXTS.items():
            want_err = want_err.replace(windows, linux)
    check(f"{name}: exit status", expected.returncode == actual.returncode,
          f"{expected.returncode} vs {actual.returncode}: {actual.stderr[-300:]}")
    check(f"{name}: output", mask(expected.stdout) == mask(actual.stdout), actual.stdout[-300:])
    check(f"{name}: messages", want_err == mask(actual.stderr), actual.stderr[-300:])


def compare_probe(name, camera, work):
    """The same descriptors, pipes and status exchange; the device is named
    by its usbfs node instead of a Windows interface path."""
    def without_paths(result):
        return [line for line in mask(result.stdout).splitlines() if not line.startswith(("Interface ", "Opened "))]
    expected = in_process(camera, ["probe"])
    actual = through_usb(camera, ["probe"], os.path.join(work, name + ".report"))
    check(f"{name}: exit status", expected.returncode == actual.returncode, actual.stderr)
    check(f"{name}: output", without_paths(expected) == without_paths(actual), actual.stdout)
    check(f"{name}: messages", expected.stderr == actual.stderr, actual.stderr)
    check(f"{name}: names the usbfs node", "/dev/bus/usb/001/002" in actual.stdout, actual.stdout)


def compare_download(name, camera, work, options):
    expected_dir, actual_dir = os.path.join(work, name + "-sim"), os.path.join(work, name + "-usb")
    report = os.path.join(work, name + ".report")
    expected = in_process(camera, ["download", "--all", "--to", expected_dir, *options])
    actual = through_usb(camera, ["download", "--all", "--to", actual_dir, *options], report)
    compare_runs(name, expected, actual)
    want, got = folder_contents(expected_dir), folder_contents(actual_dir)
    check(f"{name}: same file names", sorted(want) == sorted(got), sorted(set(want) ^ set(got))[:5])
    differing = [n for n in want if n in got and want[n] != got[n]]
    check(f"{name}: same bytes in {len(want)} files", want and not differing, differing[:5])
    device_saw_only_allowed_commands(name, report)


def main():
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "camera-image")
        subprocess.run([VELMORA, "dump-camera-image", image], check=True, capture_output=True)
        # A camera-image folder that is not the built-in set: its directory
        # lists the photos in another order.
        directory = os.path.join(image, "directory.bin")
        with open(directory, "rb") as f:
            table = bytearray(f.read())
        table[0:8], table[8:16] = table[8:16], table[0:8]
        with open(directory, "wb") as f:
            f.write(table)

        for name, camera in (("builtin", ""), ("folder", image)):
            report = os.path.join(work, name + "-list.report")
            compare_runs(f"list {name}", in_process(camera, ["list"]), through_usb(camera, ["list"], report))
            device_saw_only_allowed_commands(f"list {name}", report)
            compare_download(f"download {name}", camera, work, EVERY_OPTION)

        compare_probe("probe", "", work)
        compare_probe("probe variant-010f", "variant-010f", work)

        for scenario in ("jammed", "stuck-jam", "no-ack", "photo-timeout", "unplugged-mid-download",
                         "variant-010f", "interface-busy", "disconnected"):
            report = os.path.join(work, scenario + ".report")
            args = ["download", "--all", "--to", os.path.join(work, scenario)]
            expected = in_process(scenario, args)
            if scenario == "unplugged-mid-download":
                # The emulated device stays listed after its unplug, so the
                # fresh opening before each later photo succeeds and its first
                # request fails instead; a real unplugged camera is gone from
                # the bus and fails the opening, as in the simulator.
                expected.stderr = expected.stderr.replace(
                    "CreateFile (Win32 error 2)", "WinUsb_GetDescriptor(device) (Win32 error 1167)")
            args[-1] += "-usb"
            actual = through_usb(scenario, args, report)
            compare_runs(scenario, expected, actual, linux_texts=True)
            if os.path.exists(report):
                device_saw_only_allowed_commands(scenario, report)

        # Without permission (the counterpart of a camera without WinUSB): the
        # kernel refuses the open, nothing is sent.
        report = os.path.join(work, "no-permission.report")
        expected = in_process("no-winusb", ["list"])
        refused = through_usb("", ["list"], report, ["--no-permission"])
        check("no permission: exit status", refused.returncode == expected.returncode == 1, refused.stderr)
        check("no permission: message", refused.stderr == "velmora: MR97310 camera detected, but this user may not "
              "open it. Install the udev rule packaging/70-velmora-camera.rules (see README) and reconnect the "
              "camera, or run velmora as root.\n", refused.stderr)
        with open(report) as f:
            check("no permission: nothing sent", f.read() == "", "")

        # Held by a kernel driver: found, never claimed, never sent a byte.
        report = os.path.join(work, "kernel-driver.report")
        held = through_usb("", ["list"], report, ["--kernel-driver"])
        check("kernel driver: refused", held.returncode == 1 and held.stderr.strip().endswith(
            "a kernel driver holds its interface. Unbind that driver from the camera (see README), then try again."),
              held.stderr)
        with open(report) as f:
            check("kernel driver: nothing sent", f.read() == "", "")

    print(f"{tally['passed']} passed, {tally['failed']} failed")
    return 1 if tally["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
