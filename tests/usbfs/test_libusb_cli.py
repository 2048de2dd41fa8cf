"""velmora through libusb and usbfs on an emulated device (umockdev) answered by the simulated camera against the same
command on the in-process camera: texts, files once time stamps are masked, allowed commands. usage: VELMORA EMULATOR"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "reference"))
from cli_runner import Tally  # noqa: E402

VELMORA, EMULATOR = sys.argv[1], sys.argv[2]
ALLOWED_WRITE = re.compile(r"^write (21|19|19 [0-9a-f]{2})$")  # the status request, the token, 0x19 and a value
PERMISSION = ("velmora: MR97310 camera detected, but this user may not open it. Install the udev rule packaging/"
              "70-velmora-camera.rules (see README) and reconnect the camera, or run velmora as root.\n")
KERNEL_DRIVER = ("velmora: MR97310 camera detected, but a kernel driver holds its interface. Unbind that driver from "
                 "the camera (see README), then try again.\n")


def mask(text):
    """Time stamps in names and texts, elapsed times in transfer records, the device's name."""
    text = re.sub(r"\d{4}-\d{2}-\d{2}_\d{2}", "DATE_NN", re.sub(r"\d{12}", "TIMESTAMP", text))
    text = re.sub(r"^(Interface|Opened) .*\n", "", text, flags=re.M)
    return re.sub(r"\+\d+ ?ms", "+N ms", text).replace(
        "No WinUSB-bound MR97310 camera found. Check Device Manager and WinUsb Device binding.",
        "No MR97310 camera found. Check the cable, and that lsusb lists 093a:010e.")


def files(folder):
    paths = [pathlib.Path(root, name) for root, _, names in os.walk(folder) for name in names]
    return {mask(str(p.relative_to(folder))): mask(p.read_text("utf-8")).encode() if p.suffix == ".txt" else p.read_bytes()
            for p in paths}


def main():
    t, download = Tally(), ["download", "--all", "--to", "{}"]
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o777)  # the special runs may be the user nobody's
        # Each later photo after the unplug fails at its first request rather than at the opening: the emulated
        # device stays listed after its unplug.
        runs = [("-", "-", download + ["--save-transfer", "--save-usb-log"]), ("-", "-", ["probe"]), ("-", "no-permission", ["list"]),
                ("-", "kernel-driver", ["list"])] + [(s, "-", download) for s in (
                    "photo-timeout", "unplugged-mid-download", "interface-busy", "disconnected")]
        for camera, mode, args in runs:
            name, special = f"{camera} {mode} {args[0]}", mode != "-"
            folder, report = os.path.join(work, name), os.path.join(work, name + ".report")
            sim_args = [a.format(folder + "-sim") for a in args] + ["--simulated-camera" + ("=" + camera) * (camera != "-")]
            want = subprocess.run([VELMORA, *sim_args], capture_output=True, text=True,
                                  env=dict(os.environ, VELMORA_SIM_CLOCK="virtual"))
            nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] * (special and os.geteuid() == 0)
            got = subprocess.run([*nobody, EMULATOR, report, camera, mode, VELMORA, *[a.format(folder) for a in args]],
                                 capture_output=True, text=True)
            want_err = {"no-permission": PERMISSION, "kernel-driver": KERNEL_DRIVER}.get(mode, mask(want.stderr))
            want_err = want_err.replace("CreateFile (Win32 error 2)", "WinUsb_GetDescriptor(device) (Win32 error 1167)")
            t.check(f"{name}: exit status", got.returncode == (1 if special else want.returncode), got.stderr[-300:])
            t.check(f"{name}: output", special or mask(want.stdout) == mask(got.stdout), got.stdout[-300:])
            t.check(f"{name}: messages", want_err == mask(got.stderr), got.stderr[-300:])
            want_files, got_files = files(folder + "-sim"), files(folder)
            t.check(f"{name}: same files", want_files == got_files, sorted(set(want_files) ^ set(got_files))[:5] or
                    [n for n in want_files if want_files[n] != got_files[n]][:5])
            with open(report) as f:
                bad = [line for line in f.read().splitlines() if not ALLOWED_WRITE.match(line) or special]
            t.check(f"{name}: device saw only allowed commands" + (", none" if special else ""), not bad, bad[:5])
            if args == ["probe"]:
                t.check("probe names the usbfs node", "/dev/bus/usb/001/002" in got.stdout, got.stdout)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
