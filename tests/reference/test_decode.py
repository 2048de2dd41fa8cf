"""Compares `velmora decode` with the independent model in mars_reference.py.

usage: python3 test_decode.py /path/to/velmora
"""

import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mars_reference as ref  # noqa: E402
from cli_runner import CliRunner  # noqa: E402

# Every message the decoder can raise. "Truncated Mars literal" and the final
# size check cannot be reached from outside: a literal escape ends in a 1 bit
# of the real stream, so the 24 padding bits always follow it, and the loop
# always produces width x height samples.
REACHABLE = {
    "Invalid Mars raw photo",
    "Image exceeds safety cap",
    "Non-compressed Mars payload length mismatch",
    "Unsupported Mars dimensions",
    "Compressed payload exceeds safety cap",
    "Incomplete compressed row seed",
    "Truncated compressed Mars symbol",
}
COLLISION = "Could not create a new output file (or filename collision)"
GEOMETRY = {"HR": (352, 288), "LR": (176, 144), "R6": (320, 240), "R8": (640, 480)}
CODES = [("0", 0), ("101", 3), ("110", -3), ("1000", 8), ("1001", -8), ("1111", -20), ("11100", 20)]


def bits_to_bytes(text):
    text += "0" * (-len(text) % 8)
    return bytes(int(text[i:i + 8], 2) for i in range(0, len(text), 8))


def header(rng):
    h = bytearray(rng.randrange(256) for _ in range(12))
    h[7] = rng.choice([0, 37, 100, 255])
    return bytes(h)


def encode(plane, width, height):
    """Greedy encoder on the reference's own prediction: nearest code or literal."""
    out = []
    img = []
    for r in range(height):
        row = []
        img.append(row)
        for c in range(width):
            target = plane[r * width + c]
            if r < 2 and c < 2:
                out.append(format(target, "08b"))
                row.append(target)
                continue
            p = ref._predict(img, width, r, c)
            lit = min((target + 4) // 8, 31)
            best = (abs(lit * 8 - target), 10, "11101" + format(lit, "05b"), lit * 8)
            for prefix, delta in CODES:
                v = max(0, min(255, p + delta))
                best = min(best, (abs(v - target), len(prefix), prefix, v))
            out.append(best[2])
            row.append(best[3])
    return bits_to_bytes("".join(out))


def smooth_plane(rng, width, height):
    base = [rng.randrange(256) for _ in range(4)]
    slope = [rng.randrange(-6, 7) for _ in range(4)]
    noise = rng.choice([0, 2, 9, 60])
    plane = []
    for r in range(height):
        for c in range(width):
            k = (r % 2) * 2 + c % 2
            v = base[k] + slope[k] * (r + c) // 3 + rng.randint(-noise, noise)
            plane.append(max(0, min(255, v)))
    return plane


def random_codes(rng, count, literal_share):
    """A stream of random seeds and codes for `count` samples, row-major."""
    parts = []
    for _ in range(count):
        if rng.random() < literal_share:
            parts.append("11101" + format(rng.randrange(32), "05b"))
        else:
            parts.append(rng.choice(CODES)[0])
    return parts


def code_stream(rng, width, height, literal_share=0.1):
    parts = []
    codes = iter(random_codes(rng, width * height, literal_share))
    for r in range(height):
        for c in range(width):
            parts.append(format(rng.randrange(256), "08b") if r < 2 and c < 2 else next(codes))
    return bits_to_bytes("".join(parts))


class Runner(CliRunner):
    def __init__(self, velmora, folder):
        super().__init__(velmora, folder, "decode", "plane.bin")
        self.messages = set()

    def run(self, raw, args, file_name="photo.raw", existing=None):
        return self.run_command(raw, args, file_name, existing)[:3]

    def expect(self, name, raw, args, width, height, compressed, variant=0, file_name="photo.raw"):
        try:
            expected = ref.decode_raw_photo(raw, width, height, compressed, variant)
            message = None
        except ref.DecodeError as e:
            expected, message = None, str(e)
        rc, last, output = self.run(raw, args, file_name)
        if message is None:
            self.check(name, rc == 0 and output == expected,
                       f"rc {rc} {last!r}, {len(output or b'')} bytes vs {len(expected)}")
        else:
            self.messages.add(message)
            self.check(name, rc == 1 and last == "velmora: " + message and output is None,
                       f"rc {rc} {last!r}, wanted {message!r}")

    def expect_usage(self, name, raw, args, file_name="photo.raw"):
        rc, last, output = self.run(raw, args, file_name)
        self.check(name, rc == 2 and output is None, f"rc {rc} {last!r}")


def flags(compressed):
    return ["--compressed"] if compressed else ["--uncompressed"]


def size_args(width, height, compressed, variant=None):
    args = ["--size", f"{width}x{height}", *flags(compressed)]
    return args if variant is None else args + ["--variant", str(variant)]


def encoder_cases(t, rng):
    shapes = [(2, 2), (3, 2), (2, 3), (3, 3), (4, 4), (5, 2), (2, 7), (9, 4), (14, 14), (13, 15),
              (40, 5), (5, 40), (64, 48)]
    shapes += [(rng.randrange(2, 50), rng.randrange(2, 30)) for _ in range(40)]
    shapes += [(176, 144)]
    for width, height in shapes:
        plane = smooth_plane(rng, width, height)
        raw = header(rng) + encode(plane, width, height)
        variant = rng.choice([0, 0, 0, rng.randrange(1, 9), rng.randrange(9, 256)])
        t.expect(f"encoded {width}x{height} v{variant}", raw, size_args(width, height, True, variant),
                 width, height, True, variant)


def random_stream_cases(t, rng):
    for i in range(150):
        width, height = rng.randrange(2, 24), rng.randrange(2, 12)
        stream = code_stream(rng, width, height, rng.choice([0.0, 0.1, 0.5]))
        cut = rng.choice([len(stream), len(stream), rng.randrange(len(stream) + 1), len(stream) - 1,
                          len(stream) - 2, len(stream) - 3, len(stream) + 5])
        stream = (stream + bytes(rng.randrange(256) for _ in range(5)))[:max(cut, 0)]
        variant = rng.choice([0, 0, rng.randrange(0, 9), rng.randrange(256)])
        t.expect(f"codes #{i} {width}x{height} cut {cut} v{variant}", header(rng) + stream,
                 size_args(width, height, True, variant), width, height, True, variant)
    for i in range(60):
        width, height = rng.randrange(2, 30), rng.randrange(2, 20)
        stream = bytes(rng.randrange(256) for _ in range(rng.randrange(0, width * height * 2)))
        variant = rng.randrange(0, 12)
        t.expect(f"bytes #{i} {width}x{height} v{variant}", header(rng) + stream,
                 size_args(width, height, True, variant), width, height, True, variant)
    # Zero streams of every short length: codes from the padding until they run out.
    for n in range(0, 8):
        for width, height in [(2, 2), (18, 2), (19, 2), (20, 2), (176, 144)]:
            t.expect(f"zeros {n} {width}x{height}", bytes(12 + n), size_args(width, height, True),
                     width, height, True)


def variant_cases(t, rng):
    width, height = 11, 7
    stream = code_stream(rng, width, height, 0.2) + bytes([0xA5] * 4)
    for variant in list(range(0, 12)) + [100, 255]:
        raw = header(rng) + stream
        t.expect(f"variant {variant}", raw, size_args(width, height, True, variant), width, height, True, variant)
        plain = header(rng) + bytes(rng.randrange(256) for _ in range(width * height))
        t.expect(f"uncompressed variant {variant}", plain, size_args(width, height, False, variant),
                 width, height, False, variant)
    for bad in ["256", "-1", "x", ""]:
        t.expect_usage(f"variant {bad!r}", header(rng) + stream, size_args(width, height, True) + ["--variant", bad])


def container_cases(t, rng):
    for width, height in [(176, 144), (1, 1), (1, 5), (7, 3), (200, 1), (13, 13)]:
        n = width * height
        for delta in [-1, 0, 1]:
            raw = header(rng) + bytes(rng.randrange(256) for _ in range(max(n + delta, 0)))
            t.expect(f"uncompressed {width}x{height} {delta:+d}", raw, size_args(width, height, False),
                     width, height, False)
    sizes = [(0, 10), (10, 0), (-3, 10), (10, -3), (1, 10), (10, 1), (4097, 2), (2, 4097), (4096, 2),
             (4097, 4096), (4097, 4097), (4096, 4096), (2147483647, 2147483647), (-2147483648, 5)]
    for width, height in sizes:
        for compressed in [True, False]:
            # Shorter than the header, and long enough that the dimensions decide.
            for length in [rng.choice([0, 5, 11]), rng.choice([12, 40])]:
                raw = bytes(rng.randrange(256) for _ in range(length))
                t.expect(f"size {width}x{height} {compressed} {length} bytes", raw,
                         size_args(width, height, compressed), width, height, compressed)
    for bad in ["12", "x", "3x", "x3", "3x3x3", "4a", "99999999999x2", "3 x4"]:
        t.expect_usage(f"size {bad!r}", bytes(20), ["--size", bad, "--compressed"])
    big = bytes(12) + bytes([0x40]) + bytes(16777216)
    t.expect("stream over the cap", big, size_args(2, 2, True), 2, 2, True)
    t.expect("stream over the cap, bad dimensions first", big, size_args(1, 2, True), 1, 2, True)
    at_cap = bytes(12) + bytes([1, 2, 3, 4]) + bytes(16777212)
    rc, last, output = t.run(at_cap, size_args(2, 2, True))
    t.check("stream at the cap", rc == 0 and output == bytes([1, 2, 3, 4]), f"rc {rc} {last!r}")


def header_cases(t, rng):
    width, height = 16, 6
    stream = code_stream(rng, width, height)
    expected = ref.decompress_mars(stream, width, height)
    for byte7 in [0, 37, 100, 200, 255]:
        h = bytearray(header(rng))
        h[7] = byte7
        rc, last, output = t.run(bytes(h) + stream, size_args(width, height, True))
        t.check(f"header byte 7 = {byte7}", rc == 0 and output == expected, f"rc {rc} {last!r}")


def name_cases(t, rng):
    for code, (width, height) in GEOMETRY.items():
        for suffix, compressed in [("CP", True), ("nP", False)]:
            if not compressed:
                data = bytes(rng.randrange(256) for _ in range(width * height))
            elif code == "LR":
                data = encode(smooth_plane(rng, width, height), width, height)
            else:
                # Four seeds, then exactly enough zero bits: only the right size decodes.
                data = bytes([90, 30]) + bytes((width * height + 16) // 8 - 5)
            name = f"Velmora_{rng.randrange(1, 1000):03d}_{code}-{suffix}_250314093005.velmoraraw"
            t.expect(f"name {name}", header(rng) + data, [], width, height, compressed, file_name=name)
    lr = header(rng) + bytes(176 * 144)
    t.expect("explicit size beats the name", lr, ["--size", "88x288"], 88, 288, False,
             file_name="Velmora_001_LR-nP_1.velmoraraw")
    t.expect("explicit flag beats the name", lr, ["--compressed"], 176, 144, True,
             file_name="Velmora_001_LR-nP_1.velmoraraw")
    t.expect("code at the start", lr, [], 176, 144, False, file_name="LR-nP.raw")
    for name in ["photo.raw", "Velmora_002_R1-nP_1.velmoraraw", "Velmora_003_HR-XP_1.raw", "XHR-CP.raw",
                 "Velmora_004_hr-cp_1.raw", "Velmora_005_HRCP.raw"]:
        t.expect_usage(f"no code in {name}", lr, [], file_name=name)
    t.expect_usage("size without flag, no code", lr, ["--size", "176x144"])
    t.expect_usage("flag without size, no code", lr, ["--uncompressed"])
    t.expect_usage("both flags", lr, ["--size", "176x144", "--compressed", "--uncompressed"])
    t.expect_usage("unknown option", lr, ["--size", "176x144", "--uncompressed", "--fast"])


def output_cases(t, rng):
    raw = header(rng) + bytes(range(6))
    rc, last, output = t.run(raw, size_args(3, 2, False), existing=b"keep")
    t.check("existing output kept", rc == 1 and last == "velmora: " + COLLISION and output == b"keep",
            f"rc {rc} {last!r} {output!r}")
    rc, last, output = t.run(raw, size_args(3, 2, True), existing=b"keep")
    t.check("failed decode keeps existing output", rc == 1 and output == b"keep", f"rc {rc} {last!r}")
    proc = subprocess.run([t.velmora, "decode", os.path.join(t.folder, "missing.raw"), *size_args(3, 2, False),
                           "--output", os.path.join(t.folder, "never.bin")], capture_output=True, text=True)
    t.check("missing input", proc.returncode == 1 and proc.stderr.strip().splitlines()[-1].startswith("velmora: ")
            and not os.path.exists(os.path.join(t.folder, "never.bin")), proc.stderr)
    raw_path = os.path.join(t.folder, "plain.raw")
    with open(raw_path, "wb") as f:
        f.write(raw)
    for name, args in [("no output", [raw_path, *size_args(3, 2, False)]),
                       ("no raw photo", [*size_args(3, 2, False), "--output", os.path.join(t.folder, "x.bin")]),
                       ("two raw photos", [raw_path, raw_path, *size_args(3, 2, False), "--output",
                                           os.path.join(t.folder, "x.bin")])]:
        proc = subprocess.run([t.velmora, "decode", *args], capture_output=True, text=True)
        t.check(name, proc.returncode == 2 and not os.path.exists(os.path.join(t.folder, "x.bin")), proc.stderr)


def main():
    if len(sys.argv) != 2:
        print("usage: test_decode.py /path/to/velmora")
        return 2
    rng = random.Random(20250314)
    with tempfile.TemporaryDirectory() as folder:
        t = Runner(os.path.abspath(sys.argv[1]), folder)
        for group in [encoder_cases, random_stream_cases, variant_cases, container_cases, header_cases,
                      name_cases, output_cases]:
            group(t, rng)
        missing = REACHABLE - t.messages
        t.check("every reachable failure message was produced", not missing, sorted(missing))
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
