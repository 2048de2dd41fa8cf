"""Independent model of the raw photo container and the Mars decompressor. The stream is expanded into a text of
'0'/'1' characters and codes are matched as prefixes of it, so no bit arithmetic is shared with the program."""

CAP = 16777216
# prefix -> delta; None marks the literal escape.
CODES = (("0", 0), ("101", 3), ("110", -3), ("1000", 8), ("1001", -8), ("1111", -20), ("11100", 20), ("11101", None))


class DecodeError(Exception):
    pass


def predict(img, width, r, c):
    if r < 2:
        return img[r][c - 2]
    up = img[r - 2][c]
    ur = up if c >= width - 2 else img[r - 2][c + 2]
    if c < 2:
        return (ur + up) // 2
    left, ul = img[r][c - 2], img[r - 2][c - 2]
    if c <= width - 3:
        return (left + ul // 2 + up + ur // 2 + 1) // 3
    return (left + ul + up + 1) // 3


def decompress_mars(stream, width, height, variant=0):
    if not (2 <= width <= 4096 and 2 <= height <= 4096):
        raise DecodeError("Unsupported Mars dimensions")
    if len(stream) > CAP:
        raise DecodeError("Compressed payload exceeds safety cap")
    text = "".join(format(b, "08b") for b in bytes(stream) + b"\0\0\0")
    pos, sign = (variant if 1 <= variant <= 7 else 0), (-1 if variant == 8 else 1)
    img = []
    for r in range(height):
        img.append([])
        for c in range(width):
            if len(text) - pos < 8:
                raise DecodeError("Incomplete compressed row seed" if r < 2 and c < 2 else "Truncated compressed Mars symbol")
            if r < 2 and c < 2:
                img[r].append(int(text[pos:pos + 8], 2))
                pos += 8
                continue
            prefix, delta = next((p, d) for p, d in CODES if text.startswith(p, pos))
            pos += len(prefix) + (5 if delta is None else 0)
            img[r].append(int(text[pos - 5:pos], 2) * 8 if delta is None else
                          max(0, min(255, predict(img, width, r, c) + sign * delta)))
    return bytes(v for row in img for v in row)


def decode_raw_photo(raw, width, height, compressed, variant=0):
    if width <= 0 or height <= 0 or len(raw) < 12:
        raise DecodeError("Invalid Mars raw photo")
    if width * height > CAP:
        raise DecodeError("Image exceeds safety cap")
    if compressed:
        return decompress_mars(raw[12:], width, height, variant)
    if len(raw) != width * height + 12:
        raise DecodeError("Non-compressed Mars payload length mismatch")
    return bytes(raw[12:])
