"""Independent model of the photo renders, used to check `velmora render`.

Images are (width, height, px) with px a flat list of ints, three per pixel
(red, green, blue), rows from the top. Powers are computed exactly with the
decimal module and rounded once to a double, so the model does not depend on
the C library's pow(). Every other step uses Python floats (IEEE doubles) in
the order the rules state them.
"""

import functools
import math
from decimal import Decimal, localcontext

PATTERNS = ["rggb", "bggr", "grbg", "gbrg"]
STYLES = ["restrained", "balanced", "expressive", "proc20", "proc23",
          "baseline", "mars-historical", "grayworld"]
SETS = ["", "brighter", "more-color", "lower-contrast", "stronger-destripe"]
GLITCHES = ["scanline-shear", "channel-tear", "solarize-posterize",
            "mosaic-shred", "digital-storm"]

# low, high, gamma, contrast, saturation, white balance, highlights, destripe
PARAMS = {
    0: (0.001, 0.999, 1.0, 0.86, 0.96, 1.0, 0.65, 0.95),
    1: (0.0025, 0.9975, 0.95, 0.9, 0.98, 1.0, 0.45, 0.5),
    2: (0.0025, 0.998, 0.72, 1.04, 1.16, 0.8, 0.46, 0.9),
    3: (0.005, 0.995, 0.9, 0.95, 1.0, 1.0, 0.2, 0.75),
    4: (0.0025, 0.9975, 0.95, 0.9, 0.98, 1.0, 0.8, 0.5),
}
FALLBACK = (0.01, 0.99, 0.82, 1.0, 1.0, 1.0, 0.0, 0.0)


class RenderError(Exception):
    pass


@functools.lru_cache(maxsize=None)
def power(base, exponent):
    """base ** exponent correctly rounded to a double (base >= 0)."""
    if base == 0.0 or exponent == 1.0:
        return 0.0 if base == 0.0 else base
    with localcontext() as ctx:
        ctx.prec = 60
        return float(Decimal(base) ** Decimal(exponent))


def nearest(v):
    """Nearest integer, halves away from zero."""
    if v < 0:
        return -nearest(-v)
    whole = int(v)
    return whole + 1 if v - whole >= 0.5 else whole


def byte(v):
    return 0 if v < 0 else 255 if v > 255 else v


def demosaic(samples, w, h, pattern):
    """samples: w*h ints. Bilinear, clamped edges, truncating averages."""
    layout = PATTERNS[pattern]

    def s(x, y):
        return samples[min(max(y, 0), h - 1) * w + min(max(x, 0), w - 1)]

    def colour(x, y):
        return layout[(y % 2) * 2 + (x % 2)]

    px = []
    for y in range(h):
        for x in range(w):
            here = colour(x, y)
            plus = (s(x - 1, y) + s(x + 1, y) + s(x, y - 1) + s(x, y + 1)) // 4
            cross = (s(x - 1, y - 1) + s(x + 1, y - 1) + s(x - 1, y + 1) + s(x + 1, y + 1)) // 4
            left_right = (s(x - 1, y) + s(x + 1, y)) // 2
            up_down = (s(x, y - 1) + s(x, y + 1)) // 2
            if here == "r":
                px += [s(x, y), plus, cross]
            elif here == "b":
                px += [cross, plus, s(x, y)]
            elif colour(x + 1, y) == "r":  # green with red neighbours left and right
                px += [left_right, s(x, y), up_down]
            else:
                px += [up_down, s(x, y), left_right]
    return (w, h, px)


def channel(px, c):
    return px[c::3]


def gray_gains(px):
    n = len(px) // 3
    means = [sum(channel(px, c)) / n for c in range(3)]
    gray = (means[1] + means[0] + means[2]) / 3
    return [min(max(1.0 if m == 0 else gray / m, 0.35), 3.0) for m in means]


def gray_world(img):
    w, h, px = img
    gains = gray_gains(px)
    return (w, h, [byte(nearest(v * gains[i % 3])) for i, v in enumerate(px)])


def params_for(style, number):
    p = list(PARAMS.get(style, FALLBACK))
    index, value = {1: (2, p[2] * 0.72), 2: (4, p[4] * 1.28), 3: (3, p[3] * 0.8), 4: (7, 1.0)}.get(number, (0, p[0]))
    p[index] = value
    return tuple(p)


def luma(r, g, b):
    return 0.587 * g + 0.299 * r + 0.114 * b


def histogram(values):
    hist = [0] * 256
    for v in values:
        hist[v] += 1
    return hist


def black_white_points(values, n, low, high):
    hist = histogram(values)
    low_count = int(n * low)
    high_count = int(n * high)
    lo = hi = None
    running = 0
    for b in range(256):
        running += hist[b]
        if lo is None and running >= low_count:
            lo = b
        if hi is None and running >= high_count:
            hi = b
    lo = 255 if lo is None else lo
    hi = 255 if hi is None else hi
    return (lo, hi) if hi > lo + 4 else (0, 255)


def parametric(img, params):
    low, high, gamma, contrast, sat, wb, shaping, destripe = params
    w, h, px = img
    px = list(px)
    n = w * h

    points = [black_white_points(channel(px, c), n, low, high) for c in range(3)]
    for i, v in enumerate(px):
        lo, hi = points[i % 3]
        px[i] = byte(nearest((v - lo) * 255 / (hi - lo)))

    if wb > 0:
        gains = gray_gains(px)
        px = [byte(nearest(v * ((gains[i % 3] - 1) * wb + 1))) for i, v in enumerate(px)]

    px = [byte(nearest(power(v / 255, gamma) * 255)) for v in px]

    if abs(contrast - 1) > 1e-9:
        px = [byte(nearest((v - 128) * contrast + 128)) for v in px]

    if abs(sat - 1) > 1e-9:
        out = []
        for i in range(0, len(px), 3):
            r, g, b = px[i:i + 3]
            y = luma(r, g, b)
            out += [byte(nearest((c - y) * sat + y)) for c in (r, g, b)]
        px = out

    if shaping > 0:
        d = 1 - 0.7
        px = [byte(nearest((power((v / 255 - 0.7) / d, shaping + 1) * d + 0.7) * 255)) if v / 255 > 0.7 else v
              for v in px]

    if destripe > 0 and h >= 5:
        row_means = [sum(luma(*px[i:i + 3]) for i in range(y * w * 3, (y + 1) * w * 3, 3)) / w for y in range(h)]
        for y in range(h):
            gain = 1.0
            if row_means[y] > 2.0:
                near = [row_means[j] for j in (y - 2, y - 1, y + 1, y + 2) if 0 <= j < h]
                ratio = min(max(sum(near) / len(near) / row_means[y], 0.94), 1.06)
                gain = (ratio - 1) * destripe + 1
            for i in range(y * w * 3, (y + 1) * w * 3):
                px[i] = byte(nearest(px[i] * gain))
    return (w, h, px)


def mars_historical(img, raw):
    w, h, px = img
    n = w * h

    g = max(0.6, math.sqrt(raw[7] / 100))
    table = [byte(int(power(i / 255, g) * 255)) for i in range(256)]
    px = [table[v] for v in px]

    hists = [histogram(channel(px, c)) for c in range(3)]
    x = 1 + sum(sum(hist[48:208]) for hist in hists)
    q = math.sqrt(x * 1.5 / (n * 3))
    amount = (q * 1.4) * q

    m = n // 200
    factors = []
    for hist in hists:
        b, total = 254, 0
        while b > 32 and total < m:
            total += hist[b]
            b -= 1
        factors.append(253 / b)
    if max(factors) <= 2.5:
        px = [byte(int(v * factors[i % 3])) for i, v in enumerate(px)]

    hists = [histogram(channel(px, c)) for c in range(3)]
    factors = []
    for hist in hists:
        a, total = 0, 0
        while a < 96 and total < m:
            total += hist[a]
            a += 1
        factors.append(254 / (255 - a))
    top = max(factors)
    if top >= 1.15:
        factors = [f / top * 1.15 for f in factors]
    px = [byte((int((v - 255) * 256 * factors[i % 3]) + 65288) >> 8) for i, v in enumerate(px)]

    if amount > 0:
        out = []
        for i in range(0, len(px), 3):
            trio = px[i:i + 3]
            avg = sum(trio) // 3
            for c in trio:
                if c > avg:
                    step = (c - avg) * (255 - c) / (256 - avg) * amount
                else:
                    step = (c - avg) * (255 - avg) / (256 - c) * amount
                out.append(byte(c + int(step)))
        px = out
    return (w, h, px)


def render_photo(raw, samples, w, h, pattern, style, set_number):
    if len(samples) != w * h:
        raise RenderError("Bayer dimensions mismatch")
    base = demosaic(samples, w, h, pattern)
    if style == 5:
        if set_number != 0:
            raise RenderError("Baseline Bayer demosaic cannot be modified")
        return base
    if style == 6:
        return mars_historical(base, raw)
    if style == 7:
        return gray_world(base)
    return parametric(base, params_for(style, set_number))


def glitch(img, effect):
    w, h, src = img
    if not 0 <= effect <= 4:
        return (w, h, list(src))

    def at(x, y):
        i = (y * w + x) * 3
        return src[i:i + 3]

    px = []
    for y in range(h):
        for x in range(w):
            if effect == 0:
                shift = ((y // 9) * 53 + (y // 37) * 97) % w - w // 2
                px += at((x + shift) % w, y)
            elif effect == 1:
                o = (y // 16) * 3 + (37 if y % 38 < 19 else -51)
                px += [at((x + o) % w, y)[0], at(x, y)[1], at((x - o) % w, (y + 7) % h)[2]]
            elif effect == 2:
                band = y // 19
                for c, v in enumerate(at(x, y)):
                    f = v if v <= 100 else 255 - v
                    px.append(((band + c) % 3) * 31 + (f // 40) * 40)
            elif effect == 3:
                sx = (x % 16 + (((y // 16) * 83 + (x // 16) * 47) % ((w + 15) // 16)) * 16) % w
                sy = (y % 16 + (((y // 16) * 41 + (x // 16) * 29) % ((h + 15) // 16)) * 16) % h
                px += at(sx, sy)
            else:
                o = ((y // 11) * 29) % w
                noise = ((y // 7) * 119) ^ (x * 73) ^ (y * 151)
                px += [at((x + o) % w, y)[2] ^ ((noise >> 3) & 127),
                       at((x - o) % w, y)[0] ^ ((noise >> 5) & 255),
                       at(x, y)[1] ^ ((noise >> 2) & 191)]
    return (w, h, px)
