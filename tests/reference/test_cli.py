#!/usr/bin/env python3
"""What only the command line adds to the operations: exit statuses, the summary on stdout, "velmora: "
messages on stderr, usage errors, and the list numbered from 1. usage: python3 test_cli.py /path/to/velmora"""
import os
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_runner import Tally, last_line, run_velmora  # noqa: E402


def main():
    velmora, t = os.path.abspath(sys.argv[1]), Tally()
    with tempfile.TemporaryDirectory() as tmp:
        path = lambda *parts: os.path.join(tmp, *parts)  # noqa: E731
        sim, u, get = "--simulated-camera", path("u"), ["download", "--styles", "balanced", "--to"]
        t.check("dump", run_velmora(velmora, "dump-camera-image", path("camera")).returncode == 0)
        os.mkdir(path("empty"))
        Path(path("empty", "directory.bin")).write_bytes(bytes(16) + b"\xff" * 8 + bytes(8192 - 24))
        Path(path("a-file")).write_text("x")
        parsed = run_velmora(velmora, "pat", path("camera", "directory.bin")).stdout.splitlines()
        listed = "".join(f"{int(n) + 1} {rest}\n" for n, rest in (line.split(" ", 1) for line in parsed))
        # args, exit status, stdout, last stderr line (None: not checked), must not exist
        cases = [
            (["list", f"{sim}={path('camera')}"], 0, listed, None, None),
            (["list", f"{sim}=stuck-jam"], 1, "", "velmora: All five bounded camera directory reads failed. "
             "Reconnect the camera; do not reset/delete it.", None),
            (get + [path("all"), "--all", sim], 1, "Finished: 6 saved, 1 failed.\n", None, None),
            (get + [path("t"), "--items", "1,2,3", f"{sim}=photo-timeout"], 1, "Finished: 2 saved, 1 failed.\n",
             "Photo 2: WinUsb_ReadPipe (Win32 error 121)", None),
            (get + [path("twice"), "--items", "2,2", sim], 0, "Finished: 2 saved, 0 failed.\n", None, None),
            (get + [path("past"), "--items", "1,99", sim], 1, "Finished: 1 saved, 1 failed.\n",
             "Completed with errors:", None),
            (["download", "--items", "1", "--to", path("r1"), "--styles", "none", "--sets", "brighter",
              "--save-metadata", sim], 1, "", "velmora: Select at least one output style.", path("r1")),
            (["download", "--items", "1", "--to", "", sim], 1, "", "velmora: Choose a download folder first.", None),
            (["download", "--all", "--to", path("r2"), f"{sim}={path('empty')}"], 1, "",
             "velmora: Check at least one photo, or use Download All.", path("r2")),
            (["download", "--items", "1", "--to", path("a-file", "sub"), sim], 1, "",
             "velmora: Cannot create the destination folder.", None),
        ]
        cases += [(["list", *bad], 2, "", None, None) for bad in ([f"{sim}=no-such-thing"], ["--bogus", sim], [f"{sim}="])]
        cases += [(["download", *bad, sim], 2, "", None, u) for bad in (
            ["--to", u], ["--all", "--items", "1", "--to", u], ["--all"], ["--items", "0", "--to", u],
            ["--items", "1,,2", "--to", u], *(["--all", "--to", u, *b] for b in (
                ["--styles", "vivid"], ["--sets", "darker"], ["--pattern", "bgrg"], ["--no-such"])))]
        for args, status, stdout, message, absent in cases:
            r, name = run_velmora(velmora, *args), " ".join(a.replace(tmp, "") for a in args)
            t.check(name + ": status", r.returncode == status, f"{r.returncode} {last_line(r.stderr)}")
            t.check(name + ": stdout", r.stdout == stdout, r.stdout[-300:])
            t.check(name + ": message", message is None or last_line(r.stderr) == message, last_line(r.stderr))
            t.check(name + ": creates nothing", absent is None or not os.path.exists(absent))
        probe = run_velmora(velmora, "probe", sim)
        t.check("probe", probe.returncode == 0 and "VID:PID 093A:010E" in probe.stdout
                and " initial status / status response\n" in probe.stdout, probe.stdout)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
