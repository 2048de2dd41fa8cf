"""Independent model of the raw photo container and the Mars decompressor.

The stream is expanded into a text of '0'/'1' characters and codes are
matched as prefixes of that text, so no bit arithmetic is shared with the
program under test.
"""

CAP_SAMPLES = 16777216
CAP_STREAM = 16777216

# prefix -> delta; None marks the literal escape.
CODE_PREFIXES = (
    ("0", 0),
    ("101", 3),
    ("110", -3),
    ("1000", 8),
    ("1001", -8),
    ("1111", -20),
    ("11100", 20),
    ("11101", None),
)


class DecodeError(Exception):
    pass


def _clamp(value):
    return 0 if value < 0 else 255 if value > 255 else value


def _predict(img, width, r, c):
    """img is a list of rows (lists); row r holds columns 0..c-1 so far."""
    if r < 2:
        return img[r][c - 2]
    up = img[r - 2][c]
    if c < 2:
        ur = up if c >= width - 2 else img[r - 2][c + 2]
        return (ur + up) // 2
    left = img[r][c - 2]
    ul = img[r - 2][c - 2]
    if c <= width - 3:
        ur = img[r - 2][c + 2]
        return (left + ul // 2 + up + ur // 2 + 1) // 3
    return (left + ul + up + 1) // 3


def decompress_mars(stream, width, height, variant=0):
    if not (2 <= width <= 4096 and 2 <= height <= 4096):
        raise DecodeError("Unsupported Mars dimensions")
    if len(stream) > CAP_STREAM:
        raise DecodeError("Compressed payload exceeds safety cap")
    text = "".join(format(b, "08b") for b in bytes(stream) + b"\0\0\0")
    pos = variant if 1 <= variant <= 7 else 0
    sign = -1 if variant == 8 else 1
    img = []
    for r in range(height):
        row = []
        img.append(row)
        for c in range(width):
            if r < 2 and c < 2:
                if len(text) - pos < 8:
                    raise DecodeError("Incomplete compressed row seed")
                row.append(int(text[pos:pos + 8], 2))
                pos += 8
                continue
            if len(text) - pos < 8:
                raise DecodeError("Truncated compressed Mars symbol")
            window = text[pos:pos + 8]
            matches = [(p, d) for p, d in CODE_PREFIXES if window.startswith(p)]
            assert len(matches) == 1, window
            prefix, delta = matches[0]
            pos += len(prefix)
            if delta is None:
                if len(text) - pos < 8:
                    raise DecodeError("Truncated Mars literal")
                row.append(int(text[pos:pos + 5], 2) * 8)
                pos += 5
            else:
                row.append(_clamp(_predict(img, width, r, c) + sign * delta))
    out = bytes(v for row in img for v in row)
    if len(out) != width * height:
        raise DecodeError("Mars decompressor produced wrong image size")
    return out


def decode_raw_photo(raw, width, height, compressed, variant=0):
    if width <= 0 or height <= 0 or len(raw) < 12:
        raise DecodeError("Invalid Mars raw photo")
    if width * height > CAP_SAMPLES:
        raise DecodeError("Image exceeds safety cap")
    if compressed:
        return decompress_mars(raw[12:], width, height, variant)
    if len(raw) != width * height + 12:
        raise DecodeError("Non-compressed Mars payload length mismatch")
    return bytes(raw[12:])
