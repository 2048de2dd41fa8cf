"""Compares `velmora decode` on generated Mars streams and containers with the independent model in mars_reference.py.
usage: python3 test_decode.py /path/to/velmora"""
import itertools
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mars_reference as ref  # noqa: E402
from cli_runner import CliRunner, run_velmora  # noqa: E402

GEOMETRY = {"HR": (352, 288), "LR": (176, 144), "R6": (320, 240), "R8": (640, 480)}


def header(rng):
    return bytes(rng.randrange(256) for _ in range(7)) + bytes([rng.choice([0, 37, 100, 255])]) + bytes(4)


class Runner(CliRunner):
    def expect(self, name, raw, width, height, compressed, variant=0, args=None, file_name="photo.raw"):
        if args is None:
            args = ["--size", f"{width}x{height}", "--compressed" if compressed else "--uncompressed",
                    "--variant", str(variant)]
        try:
            want, message = (0, ref.decode_raw_photo(raw, width, height, compressed, variant)), None
        except ref.DecodeError as e:
            want, message = (1, None), str(e)
        rc, last, output, _ = self.run_command(raw, args, file_name)
        self.check(name, (rc, output) == want and (message is None or last == "velmora: " + message),
                   f"rc {rc} {last!r}, {len(output or b'')} bytes, wanted {message!r}")


def bits(text):
    return bytes(int(text[i:i + 8], 2) for i in range(0, len(text) - 7, 8))


def stream(rng, width, height, literal_share):
    parts = [format(rng.randrange(256), "08b") if r < 2 and c < 2 else
             "11101" + format(rng.randrange(32), "05b") if rng.random() < literal_share else
             rng.choice(ref.CODES[:-1])[0] for r in range(height) for c in range(width)]
    return bits("".join(parts) + "0" * 7)


def main():
    rng = random.Random(20250314)
    with tempfile.TemporaryDirectory() as folder:
        t = Runner(os.path.abspath(sys.argv[1]), folder, "decode", "plane.bin")
        for i in range(250):
            width, height = rng.choice([(rng.randrange(2, 24), rng.randrange(2, 12)), (176, 144), (3, 40)])
            data = stream(rng, width, height, rng.choice([0.0, 0.1, 0.5]))
            data = (data + bytes(rng.randrange(256) for _ in range(5)))[:rng.choice(
                [len(data), len(data), rng.randrange(len(data) + 1), len(data) - 1, len(data) - 3, len(data) + 5])]
            if i % 4 == 0:
                data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, width * height * 2)))
            if i % 9 == 0:
                data = bytes(rng.randrange(8))
            variant = rng.choice([0, 0, rng.randrange(1, 9), rng.randrange(256)])
            prefix = format(rng.randrange(256), "08b")[:variant] if 1 <= variant <= 7 else ""
            if prefix:  # the variant's skipped bits come first
                data = bits(prefix + "".join(format(b, "08b") for b in data) + "0" * 7)
            t.expect(f"stream {i} {width}x{height} v{variant}", header(rng) + data, width, height, True, variant)
        for (width, height), compressed in itertools.product(
                [(176, 144), (1, 1), (7, 3), (200, 1), (0, 10), (10, -3), (4096, 4096), (4097, 2), (2, 4097),
                 (4097, 4097), (2147483647, 2147483647), (-2147483648, 5)], (True, False)):
            for length in (rng.randrange(12), 40, width * height + 11, width * height + 12, width * height + 13):
                raw = bytes(rng.randrange(256) for _ in range(min(max(length, 0), 1 << 16)))
                t.expect(f"{width}x{height} {compressed} {len(raw)} bytes", raw, width, height, compressed, rng.randrange(12))
        big = bytes(12) + bytes([1, 2, 3, 4]) + bytes(16777212)
        t.expect("stream at the cap", big, 2, 2, True)
        t.expect("stream over the cap", big + b"\0", 2, 2, True)
        t.expect("stream over the cap, bad dimensions first", big + b"\0", 1, 2, True)
        for (code, (width, height)), (suffix, compressed) in itertools.product(GEOMETRY.items(), (("CP", True), ("nP", False))):
            data = stream(rng, width, height, 0.1) if compressed else bytes(rng.randrange(256) for _ in range(width * height))
            name = f"Velmora_{rng.randrange(1, 1000):03d}_{code}-{suffix}_250314093005.velmoraraw"
            t.expect(name, header(rng) + data, width, height, compressed, args=[], file_name=name)
        lr = bytes(176 * 144 + 12)
        t.expect("flag beats the name", lr, 176, 144, True, args=["--compressed"], file_name="Velmora_001_LR-nP_1.raw")
        t.expect("code at the start", lr, 176, 144, False, args=[], file_name="LR-nP.raw")
        # Both flags, an unknown option and variant 256 are render's usage cases on the same parser.
        usage = [(name, []) for name in ["photo.raw", "Velmora_002_R1-nP_1.velmoraraw", "Velmora_003_HR-XP_1.raw",
                                         "XHR-CP.raw", "Velmora_004_hr-cp_1.raw", "Velmora_005_HRCP.raw"]]
        usage += [("photo.raw", args) for args in (
            ["--size", "176x144"], ["--uncompressed"], ["--uncompressed", "--size", "3x2", "two.raw"],
            *(["--size", bad, "--compressed"] for bad in ["12", "x", "3x", "x3", "3x3x3", "4a", "99999999999x2", "3 x4"]),
            *(["--size", "3x2", "--compressed", "--variant", bad] for bad in ["-1", "x", ""]))]
        for name, args in usage:
            rc, last, output, _ = t.run_command(lr, args, name)
            t.check(f"usage: {name} {' '.join(args)}", rc == 2 and output is None, f"rc {rc} {last!r}")
        raw = header(rng) + bytes(range(6))
        rc, got, output, _ = t.run_command(raw, ["--size", "3x2", "--compressed"], existing=b"keep")
        t.check("failed decode keeps existing output", rc == 1 and output == b"keep", f"rc {rc} {got!r}")
        # The other argument and file failures are render's on the same parser and writer.
        got = run_velmora(t.velmora, "decode", os.path.join(folder, "never.raw"), "--size", "3x2", "--uncompressed")
        t.check("no output", got.returncode == 2, got.stderr)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
