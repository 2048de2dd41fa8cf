"""Compares `velmora render` with the independent models in render_reference.py
(renders) and mars_reference.py (decoding), pixel for pixel.

usage: python3 test_render.py /path/to/velmora
"""

import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mars_reference as mars  # noqa: E402
import render_reference as ref  # noqa: E402
from cli_runner import CliRunner  # noqa: E402

COLLISION = "Could not create a new output file (or filename collision)"
SET_OPTIONS = ["plain"] + ref.SETS[1:]


def read_png(data):
    """(width, height, rgb bytes) of an 8-bit truecolour PNG; any filter types."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "signature"
    pos, idat, width, height = 8, b"", None, None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 2), "not 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    rows, prev = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, cur = line[0], bytearray(line[1:])
        for i in range(stride):
            a = cur[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if kind == 1:
                cur[i] = (cur[i] + a) & 255
            elif kind == 2:
                cur[i] = (cur[i] + b) & 255
            elif kind == 3:
                cur[i] = (cur[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                cur[i] = (cur[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(cur))
        prev = cur
    return width, height, b"".join(rows)


class Tester(CliRunner):
    def __init__(self, velmora, folder):
        super().__init__(velmora, folder, "render", "out.png")

    def run(self, raw, args, file_name="photo.raw", existing=None):
        """(exit status, last stderr line, PNG bytes or None)."""
        return self.run_command(raw, args, file_name, existing)[:3]

    def expect(self, name, raw, width, height, compressed, variant=0, pattern=1, style=1, set_number=0,
               glitch=None, args=None, file_name="photo.raw"):
        """Runs the render and compares it with the models' result or failure."""
        try:
            plane = mars.decode_raw_photo(raw, width, height, compressed, variant)
            img = ref.render_photo(raw, list(plane), width, height, pattern, style, set_number)
            if glitch is not None:
                img = ref.glitch(img, glitch)
            expected = (img[0], img[1], bytes(img[2]))
            message = None
        except (mars.DecodeError, ref.RenderError) as e:
            expected, message = None, str(e)
        if args is None:
            args = ["--size", f"{width}x{height}", "--compressed" if compressed else "--uncompressed",
                    "--variant", str(variant), "--pattern", ref.PATTERNS[pattern],
                    "--style", ref.STYLES[style], "--set", SET_OPTIONS[set_number]]
            if glitch is not None:
                args += ["--glitch", ref.GLITCHES[glitch]]
        rc, last, png = self.run(raw, args, file_name)
        if message is not None:
            self.check(name, rc == 1 and last == "velmora: " + message and png is None,
                       f"rc {rc}, last line {last!r}, wanted {message!r}")
            return
        if rc != 0 or png is None:
            self.check(name, False, f"rc {rc}, last line {last!r}")
            return
        got = read_png(png)
        if got == expected:
            self.check(name, True)
        else:
            first = next((i for i, (a, b) in enumerate(zip(got[2], expected[2])) if a != b), None)
            self.check(name, False, f"size {got[:2]} vs {expected[:2]}, first differing byte {first}")

    def expect_usage(self, name, raw, args, file_name="photo.raw"):
        rc, last, png = self.run(raw, args, file_name)
        self.check(name, rc == 2 and png is None, f"rc {rc}, last line {last!r}")


def header(rng, byte7=None):
    h = bytearray(rng.randrange(256) for _ in range(12))
    h[7] = rng.choice([0, 37, 100, 255]) if byte7 is None else byte7
    return bytes(h)


def textured_plane(rng, width, height):
    """Per-colour levels with a gradient and noise, so histograms have tails."""
    base = [rng.randrange(256) for _ in range(4)]
    slope = [rng.randrange(-9, 10) for _ in range(4)]
    noise = rng.choice([0, 3, 20, 90])
    out = []
    for y in range(height):
        for x in range(width):
            k = (y % 2) * 2 + x % 2
            v = base[k] + slope[k] * (x + 2 * y) // 2 + rng.randint(-noise, noise)
            out.append(max(0, min(255, v)))
    return bytes(out)


def glitch_matrix(t, rng):
    """Every effect on every size below, the patterns taking turns."""
    # 70 wide and 45 high reach the high bits of the storm's noise, the
    # second half of the tear's 38-row cycle and the 37-row shear step; 34 x 50
    # has tiles to shuffle in both directions.
    sizes = [(17, 6), (40, 4), (70, 3), (7, 45), (34, 50)]
    for effect in range(5):
        for k, (width, height) in enumerate(sizes):
            pattern = (effect + k) % 4
            raw = header(rng) + textured_plane(rng, width, height)
            style = rng.randrange(8)
            set_number = 0 if style == 5 else rng.randrange(5)
            t.expect(f"glitch {ref.GLITCHES[effect]}/{ref.PATTERNS[pattern]} {width}x{height}", raw, width, height,
                     False, pattern=pattern, style=style, set_number=set_number, glitch=effect)


def header_byte_cases(t, rng):
    """Header byte 7 drives the historical curve; 25 x 9 has M = 1, 6 x 4 has M = 0."""
    for byte7 in (0, 36, 37, 64, 100, 121, 255):
        for width, height in ((6, 4), (25, 9)):
            plane = textured_plane(rng, width, height)
            pattern = rng.randrange(4)
            t.expect(f"byte7 {byte7} {width}x{height}", header(rng, byte7) + plane, width, height, False,
                     pattern=pattern, style=6)
            # Only the historical style reads the header.
            t.expect(f"byte7 {byte7} balanced", header(rng, byte7) + plane, width, height, False,
                     pattern=pattern, style=1, set_number=rng.randrange(5))


def dark_and_bright_cases(t, rng):
    """Historical bright point above and below 2.5, flat and extreme images."""
    for name, fill in (("dark", lambda: rng.randrange(0, 40)), ("bright", lambda: rng.randrange(200, 256)),
                       ("flat", lambda: 128), ("black", lambda: 0), ("white", lambda: 255),
                       ("bimodal", lambda: rng.choice([0, 255])), ("dim", lambda: rng.randrange(0, 5)),
                       ("dimmer", lambda: rng.randrange(0, 4))):
        width, height = 25, 9
        plane = bytes(fill() for _ in range(width * height))
        for style in (0, 2, 6, 7):
            t.expect(f"{name} {ref.STYLES[style]}", header(rng) + plane, width, height, False,
                     pattern=rng.randrange(4), style=style, set_number=rng.randrange(5))


def black_point_cases(t, rng):
    """480 pixels: low counts of 1 and 2, so black points above bin 0."""
    for style in (0, 1, 2, 3, 4):
        plane = textured_plane(rng, 30, 16)
        t.expect(f"480 pixels {ref.STYLES[style]}", header(rng) + plane, 30, 16, False, pattern=rng.randrange(4),
                 style=style, set_number=rng.randrange(5))


def tiny_cases(t, rng):
    for width, height in ((1, 1), (1, 4), (4, 1), (2, 2), (3, 2), (13, 3), (2, 4)):
        for _ in range(3):
            style = rng.randrange(8)
            set_number = 0 if style == 5 else rng.randrange(5)
            glitch = rng.choice([None, rng.randrange(5)])
            t.expect(f"tiny {width}x{height} {ref.STYLES[style]}", header(rng) + textured_plane(rng, width, height),
                     width, height, False, pattern=rng.randrange(4), style=style, set_number=set_number, glitch=glitch)


def compressed_cases(t, rng):
    """Random streams decode to something at every variant; short ones fail."""
    for variant in list(range(9)) + [9, 200, 255]:
        width, height = rng.choice([(6, 4), (10, 5), (16, 3)])
        stream = bytes(rng.randrange(256) for _ in range(width * height))
        style = rng.randrange(8)
        t.expect(f"compressed variant {variant}", header(rng) + stream, width, height, True, variant=variant,
                 pattern=rng.randrange(4), style=style, set_number=0 if style == 5 else rng.randrange(5))
    t.expect("compressed stream too short", header(rng) + bytes(2), 30, 4, True)
    t.expect("compressed too narrow", header(rng) + bytes(40), 1, 4, True)
    # Variants do nothing to uncompressed photos.
    raw = header(rng) + textured_plane(rng, 5, 3)
    for variant in (1, 8):
        t.expect(f"uncompressed variant {variant}", raw, 5, 3, False, variant=variant)


def container_failures(t, rng):
    t.expect("length mismatch", header(rng) + bytes(14), 5, 3, False)
    t.expect("zero width", header(rng) + bytes(14), 0, 3, False)
    t.expect("baseline with a set", header(rng) + bytes(6), 3, 2, False, style=5, set_number=3)
    rc, last, png = t.run(header(rng) + bytes(6), ["--size", "3x2", "--uncompressed"], existing=b"keep")
    t.check("existing output kept", rc == 1 and last == "velmora: " + COLLISION and png == b"keep",
            f"rc {rc}, last {last!r}")


def defaults_and_names(t, rng):
    """Defaults are bggr, balanced, plain, no glitch; short codes give size and compression."""
    raw = header(rng) + textured_plane(rng, 6, 5)
    t.expect("defaults", raw, 6, 5, False, args=["--size", "6x5", "--uncompressed"])
    t.expect("equals syntax", raw, 6, 5, False, pattern=2, style=4, set_number=2,
             args=["--size=6x5", "--uncompressed", "--pattern=grbg", "--style=proc23", "--set=more-color"])
    lr = header(rng, 100) + textured_plane(rng, 176, 144)
    t.expect("LR-nP from the name", lr, 176, 144, False, style=0, args=["--style", "restrained"],
             file_name="Velmora_001_LR-nP_250314093005.velmoraraw")
    seeds = bytes([200, 30]) + bytes(22) + bytes([90, 140]) + bytes(3200)
    t.expect("LR-CP from the name", header(rng) + seeds, 176, 144, True, style=6,
             args=["--style", "mars-historical"], file_name="Velmora_042_LR-CP_250314093005.velmoraraw")
    t.expect("HR-CP too short", header(rng) + bytes(30), 352, 288, True, args=[],
             file_name="Velmora_007_HR-CP_250314093005.velmoraraw")
    t.expect("size overrides the name", raw, 6, 5, False, args=["--size", "6x5"],
             file_name="Velmora_003_R8-nP_1.velmoraraw")


def usage_cases(t, rng):
    raw = header(rng) + bytes(6)
    size = ["--size", "3x2", "--uncompressed"]
    for name, args in (("bad pattern", size + ["--pattern", "RGGB"]),
                       ("bad style", size + ["--style", "unknown"]),
                       ("style by number", size + ["--style", "1"]),
                       ("bad set", size + ["--set", ""]),
                       ("bad glitch", size + ["--glitch", "none"]),
                       ("variant 256", size + ["--variant", "256"]),
                       ("both flags", size + ["--compressed"]),
                       ("unknown option", size + ["--fast"]),
                       ("no short code", []),
                       ("bad size", ["--size", "3by2", "--uncompressed"])):
        t.expect_usage(name, raw, args)
    proc = subprocess.run([t.velmora, "render", os.path.join(t.folder, "x.raw"), *size], capture_output=True)
    t.check("no output option", proc.returncode == 2, f"rc {proc.returncode}")
    proc = subprocess.run([t.velmora, "render", *size, "--output", os.path.join(t.folder, "x.png")],
                          capture_output=True)
    t.check("no raw photo", proc.returncode == 2, f"rc {proc.returncode}")
    proc = subprocess.run([t.velmora, "render", os.path.join(t.folder, "missing.raw"), *size, "--output",
                           os.path.join(t.folder, "y.png")], capture_output=True, text=True)
    t.check("missing raw file", proc.returncode == 1 and proc.stderr.strip().splitlines()[-1].startswith("velmora: "),
            f"rc {proc.returncode}")


def main():
    if len(sys.argv) != 2:
        print("usage: test_render.py /path/to/velmora")
        return 2
    rng = random.Random(20250314)
    with tempfile.TemporaryDirectory() as folder:
        t = Tester(os.path.abspath(sys.argv[1]), folder)
        # Every style, set and pattern is held against this model in the C++
        # golden renders, natively and under Wine.
        for group in (glitch_matrix, header_byte_cases, dark_and_bright_cases, black_point_cases,
                      tiny_cases,
                      compressed_cases, container_failures, defaults_and_names, usage_cases):
            group(t, rng)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
