"""Compares `velmora render`, and the renders a download writes, with the
independent models in render_reference.py and mars_reference.py, pixel for
pixel, on generated photos: every style, set, pattern and glitch effect, the
sizes where the effects wrap, and levels at the ends of every curve.
usage: python3 test_render.py /path/to/velmora
"""

import itertools
import os
import random
import struct
import sys
import tempfile
import zlib


sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mars_reference as mars  # noqa: E402
import render_reference as ref  # noqa: E402
from cli_runner import CliRunner, run_velmora  # noqa: E402



def read_png(data):
    """(width, height, rgb bytes) of an 8-bit RGB PNG whose rows are unfiltered, as velmora writes them."""
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IHDR":
            width, height = struct.unpack(">II", data[pos + 8:pos + 16])
        elif kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw, stride = zlib.decompress(idat), width * 3 + 1
    rows = [raw[y * stride:(y + 1) * stride] for y in range(height)]
    return width, height, b"".join(r[1:] if r[0] == 0 else b"filtered" for r in rows)


def model(raw, width, height, compressed=False, variant=0, pattern=1, style=1, set_number=0, glitch=None):
    """The models' image as (width, height, bytes), or their failure message."""
    try:
        plane = mars.decode_raw_photo(raw, width, height, compressed, variant)
        img = ref.render_photo(raw, list(plane), width, height, pattern, style, set_number)
        img = ref.glitch(img, glitch) if glitch is not None else img
        return img[0], img[1], bytes(img[2])
    except (mars.DecodeError, ref.RenderError) as e:
        return str(e)


class Tester(CliRunner):
    def expect(self, name, raw, width, height, args=None, file_name="photo.raw", **options):
        """Renders with the options as arguments (or args) and compares with the models."""
        expected = model(raw, width, height, **options)
        if args is None:
            o = {**dict(compressed=False, variant=0, pattern=1, style=1, set_number=0, glitch=None), **options}
            args = ["--size", f"{width}x{height}", "--compressed" if o["compressed"] else "--uncompressed",
                    "--variant", str(o["variant"]), "--pattern", ref.PATTERNS[o["pattern"]],
                    "--style", ref.STYLES[o["style"]], "--set", ["plain", *ref.SETS[1:]][o["set_number"]]]
            args += ["--glitch", ref.GLITCHES[o["glitch"]]] if o["glitch"] is not None else []
        rc, last, png = self.run_command(raw, args, file_name)[:3]
        if isinstance(expected, str):
            self.check(name, rc == 1 and last == "velmora: " + expected and png is None, f"rc {rc}, {last!r}")
        else:
            self.check(name, rc == 0 and read_png(png) == expected, f"rc {rc}, {last!r}, other pixels")


def header(rng, byte7=None):
    h = bytearray(rng.randrange(256) for _ in range(12))
    h[7] = rng.choice([0, 37, 100, 255]) if byte7 is None else byte7
    return bytes(h)


def textured(rng, width, height):
    """Per-colour levels with a gradient and noise, so histograms have tails."""
    base, slope = [rng.randrange(256) for _ in range(4)], [rng.randrange(-9, 10) for _ in range(4)]
    noise = rng.choice([0, 3, 20, 90])
    return bytes(max(0, min(255, base[(y % 2) * 2 + x % 2] + slope[(y % 2) * 2 + x % 2] * (x + 2 * y) // 2
                            + rng.randint(-noise, noise))) for y in range(height) for x in range(width))


LEVELS = {"dark": (0, 40), "bright": (200, 256), "flat": (128, 129), "black": (0, 1), "white": (255, 256),
          "dim": (0, 5), "dimmer": (0, 4)}


def render_cases(t, rng):
    def any_style():
        style = rng.randrange(8)
        return dict(style=style, set_number=0 if style == 5 else rng.randrange(5), pattern=rng.randrange(4))

    for style, set_number, pattern in itertools.product(range(8), range(5), range(4)):
        glitch = rng.choice([None, 0, 1, 2, 3, 4])
        t.expect(f"{ref.STYLES[style]} set {set_number} {ref.PATTERNS[pattern]} glitch {glitch}",
                 header(rng) + textured(rng, 23, 19), 23, 19, style=style, set_number=set_number, pattern=pattern,
                 glitch=glitch)
    # 70 wide and 45 high reach the high bits of the storm's noise, the second
    # half of the tear's 38-row cycle and the 37-row shear step; 34 x 50 has
    # tiles to shuffle both ways; the tiny ones clamp every neighbour.
    sizes = [(17, 6), (40, 4), (70, 3), (7, 45), (34, 50), (1, 1), (1, 4), (4, 1), (2, 2), (3, 2), (13, 3), (2, 4)]
    for effect, (width, height) in itertools.product(range(5), sizes):
        t.expect(f"{ref.GLITCHES[effect]} {width}x{height}", header(rng) + textured(rng, width, height), width,
                 height, glitch=effect, **any_style())
    # Header byte 7 drives the historical curve; 25 x 9 has M = 1, 6 x 4 has M = 0.
    for byte7, (width, height), style in itertools.product((0, 36, 37, 64, 100, 121, 255), ((6, 4), (25, 9)), (6, 1)):
        t.expect(f"byte7 {byte7} {width}x{height} {style}", header(rng, byte7) + textured(rng, width, height),
                 width, height, style=style, pattern=rng.randrange(4))
    # Bright points above and below 2.5, black and white points at the ends.
    for name, (low, high) in list(LEVELS.items()) + [("bimodal", (None, None))]:
        plane = bytes(rng.choice([0, 255]) if low is None else rng.randrange(low, high) for _ in range(225))
        for style in (0, 2, 6, 7):
            t.expect(f"{name} {ref.STYLES[style]}", header(rng) + plane, 25, 9, style=style,
                     set_number=rng.randrange(5), pattern=rng.randrange(4))
    for style in range(5):  # 480 pixels: low counts of 1 and 2, so black points above bin 0
        t.expect(f"480 pixels {ref.STYLES[style]}", header(rng) + textured(rng, 30, 16), 30, 16, style=style,
                 set_number=rng.randrange(5), pattern=rng.randrange(4))
    for variant in list(range(10)) + [200, 255]:  # random streams decode to something at every variant
        width, height = rng.choice([(6, 4), (10, 5), (16, 3)])
        t.expect(f"variant {variant}", header(rng) + bytes(rng.randrange(256) for _ in range(width * height)),
                 width, height, compressed=True, variant=variant, **any_style())


def command_cases(t, rng):
    """Failures, defaults, short codes from the file name, usage errors."""
    plane = header(rng) + textured(rng, 6, 5)
    for name, raw, width, height, options in (
            ("stream too short", header(rng) + bytes(2), 30, 4, dict(compressed=True)),
            ("too narrow", header(rng) + bytes(40), 1, 4, dict(compressed=True)),
            ("variant of uncompressed", plane, 6, 5, dict(variant=8)),
            ("length mismatch", header(rng) + bytes(14), 5, 3, {}),
            ("zero width", header(rng) + bytes(14), 0, 3, {}),
            ("baseline with a set", header(rng) + bytes(6), 3, 2, dict(style=5, set_number=3))):
        t.expect(name, raw, width, height, **options)
    rc, last, png = t.run_command(header(rng) + bytes(6), ["--size", "3x2", "--uncompressed"], existing=b"keep")[:3]
    t.check("existing output kept", rc == 1 and png == b"keep"
            and last == "velmora: Could not create a new output file (or filename collision)", f"rc {rc}")
    t.expect("defaults", plane, 6, 5, args=["--size", "6x5", "--uncompressed"])
    t.expect("equals syntax", plane, 6, 5, pattern=2, style=4, set_number=2,
             args=["--size=6x5", "--uncompressed", "--pattern=grbg", "--style=proc23", "--set=more-color"])
    t.expect("size overrides the name", plane, 6, 5, args=["--size", "6x5"], file_name="Velmora_003_R8-nP_1.velmoraraw")
    t.expect("LR-nP from the name", header(rng, 100) + textured(rng, 176, 144), 176, 144, style=0,
             args=["--style", "restrained"], file_name="Velmora_001_LR-nP_250314093005.velmoraraw")
    seeds = bytes([200, 30]) + bytes(22) + bytes([90, 140]) + bytes(3200)
    t.expect("LR-CP from the name", header(rng) + seeds, 176, 144, compressed=True, style=6,
             args=["--style", "mars-historical"], file_name="Velmora_042_LR-CP_250314093005.velmoraraw")
    t.expect("HR-CP too short", header(rng) + bytes(30), 352, 288, compressed=True, args=[],
             file_name="Velmora_007_HR-CP_250314093005.velmoraraw")
    size = ["--size", "3x2", "--uncompressed"]
    for args in ([], size + ["--pattern", "RGGB"], size + ["--style", "unknown"], size + ["--style", "1"],
                 size + ["--set", ""], size + ["--glitch", "none"], size + ["--variant", "256"], size + ["--fast"],
                 size + ["--compressed"], ["--size", "3by2", "--uncompressed"]):  # []: no short code in the name
        rc, last, png = t.run_command(header(rng) + bytes(6), args)[:3]
        t.check("usage " + " ".join(args), rc == 2 and png is None, f"rc {rc}, {last!r}")
    for args, status in ((["x.raw", *size], 2), ([*size, "--output", "x.png"], 2),
                         (["missing.raw", *size, "--output", "y.png"], 1)):  # no output, no photo, a missing photo
        proc = run_velmora(t.velmora, "render", *[os.path.join(t.folder, a) if "." in a else a for a in args])
        t.check(" ".join(args), proc.returncode == status, f"rc {proc.returncode}")


def download_cases(t):
    """The experimental and glitch renders a download writes (which ones is the download job's rule, checked
    with its tests); a variant whose stream does not decode writes nothing."""
    renders = {f"fun-offset{v}-proc21": dict(compressed=True, variant=v) for v in range(1, 8)}
    renders.update({"fun-swapsigns-proc21": dict(compressed=True, variant=8),
                    "fun-swapsigns-baseline": dict(compressed=True, variant=8, style=5),
                    "fun-rggb-proc21": dict(pattern=0), "fun-bggr-mars": dict(style=6),
                    "fun-rggb-baseline": dict(pattern=0, style=5), "fun-gbrg-proc21": dict(pattern=3)})
    renders.update({f"extreme-{g}": dict(glitch=n) for n, g in enumerate(ref.GLITCHES)})
    compared = 0
    for item in ("3", "4"):
        folder = os.path.join(t.folder, "download" + item)
        run_velmora(t.velmora, "download", "--items", item, "--to", folder, "--styles", "balanced", "--experimental",
                    "--extreme-glitch", "--simulated-camera")
        names = sorted(os.listdir(folder))
        with open(os.path.join(folder, names[0]), "rb") as f:
            raw = f.read()
        for label, options in renders.items():
            expected = model(raw, 176, 144, **{"compressed": "-CP_" in names[0], **options})
            saved = [n for n in names if f"_{label}_" in n]
            if isinstance(expected, str) or len(saved) > 1:
                t.check(f"item {item} {label}", not saved, f"{saved} {expected!r:.60}")
            elif saved:
                with open(os.path.join(folder, saved[0]), "rb") as f:
                    t.check(f"item {item} {label}", read_png(f.read()) == expected)
                compared += 1
    t.check("experimental renders compared", compared == 2 * 5 + 1 + 9 + 4, compared)


def main():
    rng = random.Random(20250314)
    with tempfile.TemporaryDirectory() as folder:
        t = Tester(os.path.abspath(sys.argv[1]), folder, "render", "out.png")
        render_cases(t, rng)
        command_cases(t, rng)
        download_cases(t)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
