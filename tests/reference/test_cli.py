#!/usr/bin/env python3
"""What only the command line adds to the operations the C++ suite checks:
exit statuses, the summary on stdout, "velmora: " messages on stderr, usage
errors, and the list numbered from 1 in the same lines as `velmora pat`.

usage: python3 test_cli.py /path/to/velmora
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_runner import Tally, last_line, run_velmora  # noqa: E402

ALL_FAILED = "All five bounded camera directory reads failed. Reconnect the camera; do not reset/delete it."


def read(file):
    with open(file, "rb") as f:
        return f.read()


def main():
    velmora = os.path.abspath(sys.argv[1])
    t = Tally()
    with tempfile.TemporaryDirectory() as tmp:
        def path(*parts):
            return os.path.join(tmp, *parts)

        camera = path("camera")
        t.check("dump", run_velmora(velmora, "dump-camera-image", camera).returncode == 0)
        empty = path("empty")
        os.mkdir(empty)
        with open(path("empty", "directory.bin"), "wb") as f:
            f.write(bytes(16) + b"\xff" * 8 + bytes(8192 - 24))
        with open(path("a-file"), "w") as f:
            f.write("x")
        parsed = run_velmora(velmora, "pat", path("camera", "directory.bin")).stdout
        listed = [f"{int(n) + 1} {rest}" for n, rest in (line.split(" ", 1) for line in parsed.splitlines())]
        t.check("seven entries", len(listed) == 7, parsed)

        sim = "--simulated-camera"
        balanced = ["--styles", "balanced"]
        # args, exit status, stdout (None: not checked), last stderr line (None: not checked), must not exist
        cases = [
            (["list", f"{sim}={camera}"], 0, "\n".join(listed) + "\n", None, None),
            (["list", f"{sim}=stuck-jam"], 1, "", "velmora: " + ALL_FAILED, None),
            (["list", f"{sim}=no-such-thing"], 2, "", None, None),
            (["list", "--bogus"], 2, "", None, None),
            (["list", f"{sim}="], 2, "", None, None),
            (["download", "--all", "--to", path("all"), *balanced, sim], 1, "Finished: 6 saved, 1 failed.\n",
             None, None),
            (["download", "--items", "1,2,3", "--to", path("timeout"), *balanced, f"{sim}=photo-timeout"], 1,
             "Finished: 2 saved, 1 failed.\n", "Photo 2: WinUsb_ReadPipe (Win32 error 121)", None),
            (["download", "--items", "2,2", "--to", path("twice"), *balanced, sim], 0,
             "Finished: 2 saved, 0 failed.\n", None, None),
            (["download", "--items", "1,99", "--to", path("past"), *balanced, sim], 1,
             "Finished: 1 saved, 1 failed.\n", "Completed with errors:", None),
            (["download", "--items", "1", "--to", path("r1"), "--styles", "none", "--sets", "brighter",
              "--save-metadata", sim], 1, "", "velmora: Select at least one output style.", path("r1")),
            (["download", "--items", "1", "--to", "", sim], 1, "", "velmora: Choose a download folder first.", None),
            (["download", "--all", "--to", path("r2"), f"{sim}={empty}"], 1, "",
             "velmora: Check at least one photo, or use Download All.", path("r2")),
            (["download", "--items", "1", "--to", path("a-file", "sub"), sim], 1, "",
             "velmora: Cannot create the destination folder.", None),
        ]
        for bad in (["--to", path("u")], ["--all", "--items", "1", "--to", path("u")], ["--all"],
                    ["--items", "0", "--to", path("u")], ["--items", "1,,2", "--to", path("u")],
                    ["--all", "--to", path("u"), "--styles", "vivid"], ["--all", "--to", path("u"), "--sets", "darker"],
                    ["--all", "--to", path("u"), "--pattern", "bgrg"], ["--all", "--to", path("u"), "--no-such"]):
            cases.append((["download", *bad, sim], 2, "", None, path("u")))

        for args, status, stdout, message, absent in cases:
            result = run_velmora(velmora, *args)
            name = " ".join(a.replace(tmp, "") for a in args)
            t.check(name + ": status", result.returncode == status, f"{result.returncode} {last_line(result.stderr)}")
            if stdout is not None:
                t.check(name + ": stdout", result.stdout == stdout, result.stdout[-300:])
            if message is not None:
                t.check(name + ": message", last_line(result.stderr) == message, last_line(result.stderr))
            if absent is not None:
                t.check(name + ": creates nothing", not os.path.exists(absent))

        # Every render of a download is the one `velmora render` gives for its archive.
        run_velmora(velmora, "download", "--items", "1", "--to", path("renders"), "--styles", "balanced", "--sets",
                    "brighter", "--all-bayer-patterns", "--historical-mars", "--extreme-glitch", sim)
        names = sorted(os.listdir(path("renders")))
        raw = path("renders", names[0])
        t.check("archive first", raw.endswith(".velmoraraw") and len(names) == 13, names)
        renders = [("balanced", ["--style", "balanced"]), ("balanced-brighter", ["--style", "balanced", "--set", "brighter"]),
                   ("historical-mars", ["--style", "mars-historical"])]
        renders += [(f"bayer-{p}", ["--pattern", p, "--style", "balanced"]) for p in ("rggb", "bggr", "grbg", "gbrg")]
        renders += [(f"extreme-{g}", ["--style", "balanced", "--glitch", g]) for g in ("scanline-shear", "channel-tear",
                                                                                     "solarize-posterize",
                                                                                     "mosaic-shred", "digital-storm")]
        for label, args in renders:
            saved = [n for n in names if f"_{label}_" in n]
            run_velmora(velmora, "render", raw, *args, "--output", path(label + ".png"))
            t.check("render " + label, len(saved) == 1 and read(path("renders", saved[0])) == read(path(label + ".png")),
                    saved)

        probe = run_velmora(velmora, "probe", sim)
        t.check("probe", probe.returncode == 0 and "VID:PID 093A:010E" in probe.stdout
                and " initial status / status response\n" in probe.stdout, probe.stdout)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
