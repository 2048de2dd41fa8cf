"""Prints the checksums held by tests/render/render_golden_test.cpp, computed
with the independent model in render_reference.py.

usage: python3 make_render_golden.py
"""

import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import render_reference as ref  # noqa: E402

FNV_OFFSET = 0xCBF29CE484222325
FNV_PRIME = 0x100000001B3


def fnv(data, h=FNV_OFFSET):
    for b in data:
        h = ((h ^ b) * FNV_PRIME) & 0xFFFFFFFFFFFFFFFF
    return h


# Keep in step with golden_plane() in render_golden_test.cpp.
W, H = 23, 19


def plane(dark):
    s = [(40 + x * 6 + y * 5 + (x * 131 + y * 71 + x * y * 17) % 41) & 255
         for y in range(H) for x in range(W)]
    return [v // 4 for v in s] if dark else s


def raw_with_byte7(samples, b7):
    header = bytes([0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, b7, 1, 2, 3, 4])
    return header + bytes(samples)


STYLES = list(range(8)) + [9, -3]
HEADER_BYTES = [0, 37, 100, 255]


def group(raw, samples, style, set_number):
    """Checksum over the four patterns' pixels, or the failure message."""
    h = FNV_OFFSET
    for pattern in range(4):
        try:
            img = ref.render_photo(raw, samples, W, H, pattern, style, set_number)
        except ref.RenderError as e:
            return '0, "%s"' % e
        h = fnv(img[2], h)
    return "0x%016xull, nullptr" % h


def pow_domain():
    """Every (base, exponent) the styles feed to the power function."""
    gammas = [ref.params_for(s, t)[2] for s in (0, 1, 2, 3, 4, 9) for t in (0, 1)]
    for g in sorted(set(gammas)):
        for c in range(256):
            yield c / 255, g
    ks = sorted({min(max(ref.params_for(s, 0)[6], 0.0), 1.5) + 1 for s in (0, 1, 2, 3, 4)})
    for k in ks:
        for c in range(256):
            x = c / 255
            if x > 0.7:
                yield (x - 0.7) / (1 - 0.7), k
    for b7 in range(256):
        g = max(0.6, ref.math.sqrt(b7 / 100))
        for i in range(256):
            yield i / 255, g


def main():
    h = FNV_OFFSET
    count = 0
    for base, exponent in pow_domain():
        h = fnv(struct.pack("<d", ref.power(base, exponent)), h)
        count += 1
    print("// portable_pow over the style domain: %d values" % count)
    print("constexpr std::uint64_t kPowDomainChecksum = 0x%016xull;" % h)
    print()
    for dark in (False, True):
        samples = plane(dark)
        print("// %s plane: style, set, header byte 7, checksum, failure" % ("dark" if dark else "bright"))
        for style in STYLES:
            for set_number in range(5):
                b7s = HEADER_BYTES if style == 6 and set_number == 0 else [37]
                for b7 in b7s:
                    value = group(raw_with_byte7(samples, b7), samples, style, set_number)
                    print("{%d, %d, %d, %s}," % (style, set_number, b7, value))
        print("// glitches of balanced: pattern, effect, checksum")
        for pattern in range(4):
            base = ref.render_photo(raw_with_byte7(samples, 37), samples, W, H, pattern, 1, 0)
            for effect in list(range(5)) + [7]:
                print("{%d, %d, 0x%016xull}," % (pattern, effect, fnv(ref.glitch(base, effect)[2])))


if __name__ == "__main__":
    main()
