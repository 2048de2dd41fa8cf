"""Compares `velmora pat` with the independent model in pat_reference.py.

usage: python3 test_pat.py /path/to/velmora
"""

import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pat_reference as ref  # noqa: E402
from cli_runner import Tally, last_line, run_velmora  # noqa: E402

EXPECTED = {0: 25356, 2: 101388, 6: 76812, 8: 307212}
CAP_SIZE = 16776783


def ent(flags, loc, size, last=0):
    return bytes([flags, loc & 255, (loc >> 8) & 255, (loc >> 16) & 255,
                  size & 255, (size >> 8) & 255, (size >> 16) & 255, last])


END = bytes([0xFF] * 8)


def buf(at16=b"", at144=b"", length=8192, fill=0):
    b = bytearray([fill] * length)
    b[144:144 + len(at144)] = at144
    b[16:16 + len(at16)] = at16
    return bytes(b[:length])


def interesting_sizes(kind, compressed):
    e = EXPECTED.get(kind, 40000)
    return sorted({0, 1, 11, 12, 13, e - 1, e, e + 1, 7759, 7760, CAP_SIZE, CAP_SIZE + 1, 0xFFFFFF,
                   0x100, 0xFF, 0x10000} | ({e} if not compressed else set()))


def valid_entry(rng, loc=None):
    kind = rng.choice([0, 1, 2, 6, 8])
    compressed = rng.random() < 0.6 and kind != 1
    if kind == 1:
        size = rng.choice([1, 12, 7759, 7760, rng.randrange(1, CAP_SIZE + 1), CAP_SIZE])
    elif compressed:
        size = rng.choice([12, EXPECTED[kind] - 1, rng.randrange(12, EXPECTED[kind])])
    else:
        size = EXPECTED[kind]
    flags = kind | (0x20 if compressed else 0) | rng.choice([0, 0, 0x10, 0x40, 0x80, 0xC0, 0x50])
    if kind == 1 and rng.random() < 0.3:
        flags |= 0x20
    if loc is None:
        loc = rng.choice([rng.randrange(0, 1 << 24), rng.randrange(0, 64), 0xFFFFFF, 0x010000, 0x0000FF])
    return ent(flags, loc, size, rng.choice([0, 0, 1, 0x07, 0xFF, rng.randrange(256)]))


def damaged_entry(rng):
    choice = rng.randrange(6)
    if choice == 0:
        return ent(rng.choice([3, 4, 5, 7, 9, 10, 11, 12, 13, 14, 15]) | rng.choice([0, 0x20]), 5, 20000)
    if choice == 1:
        return ent(rng.choice([0, 2, 6, 8, 0x20, 0x22]), 5, 0)
    if choice == 2:
        return ent(0x01, 5, CAP_SIZE + 1 + rng.randrange(100))
    if choice == 3:
        k = rng.choice([0, 2, 6, 8])
        return ent(k | 0x20, 5, EXPECTED[k])
    if choice == 4:
        k = rng.choice([0, 2, 6, 8])
        return ent(k, 5, EXPECTED[k] + rng.choice([-1, 1]))
    return ent(0x22, 5, rng.randrange(0, 12))


def random_table(rng, n, end=True, damage=False):
    entries = [valid_entry(rng) for _ in range(n)]
    if damage and entries:
        entries.insert(rng.randrange(len(entries) + 1), damaged_entry(rng))
    out = b"".join(entries)
    if end:
        out += END
    return out


def cases():
    """Yields (name, [buffer, ...]) pairs."""
    rng = random.Random(20261206)

    # Every type code with every interesting size, compressed or not, at either start.
    for kind in range(16):
        for compressed in (False, True):
            for size in interesting_sizes(kind, compressed):
                flags = kind | (0x20 if compressed else 0)
                e = ent(flags, 0x001234, size, 0x07)
                yield "type %d cp=%d size %d at 16" % (kind, compressed, size), [buf(e + END)]
                yield "type %d cp=%d size %d at 144" % (kind, compressed, size), [buf(END, e + ent(1, 1, 1) + END)]

    yield "listing example", [buf(bytes.fromhex("223412000c630107") + END)]
    yield "end marker at 16, three at 144", [buf(END, random_table(rng, 3))]
    yield "nothing anywhere", [buf()]
    yield "all 0xff", [bytes([0xFF] * 8192)]
    yield "empty file", [b""]
    yield "two empty files", [b"", b""]

    # Ranking between the two starts.
    a2 = ent(0x22, 1, 60000) + ent(0x22, 2, 60000)
    yield "equal counts and totals keep 16", [buf(a2 + END, ent(0x22, 3, 60000) + ent(0x22, 4, 60000) + END)]
    yield "smaller total at 144", [buf(a2 + END, ent(0x22, 3, 60000) + ent(0x22, 4, 59999) + END)]
    yield "larger total at 144", [buf(a2 + END, ent(0x22, 3, 60000) + ent(0x22, 4, 60001) + END)]
    yield "terminated 144 beats invalid-stopped 16", [buf(ent(0x22, 1, 100) + ent(0x22, 2, 100),
                                                          ent(0x22, 3, 90000) + ent(0x22, 4, 90000) + END)]
    yield "terminated 16 beats smaller total at 144", [buf(a2 + END, ent(0x22, 3, 100) + ent(0x22, 4, 100))]
    yield "more entries at 144", [buf(a2 + END, random_table(rng, 3, end=False))]
    yield "one long table at 16 overlapping 144", [buf(random_table(rng, 40))]
    yield "damaged table at 16 hides the rest", [buf(ent(0x22, 1, 100) + ent(0x03, 2, 100) + random_table(rng, 30))]

    # Length boundaries around both starts.
    one = ent(0x01, 7, 9)
    for length in list(range(0, 40)) + list(range(140, 170)) + [8191, 8192, 8193]:
        yield "length %d, entry at 16" % length, [buf(one + one, b"", max(length, 0))[:length]]
        yield "length %d, entry at 144" % length, [buf(END, one + one, max(length, 160))[:length]]
        yield "length %d, both" % length, [buf(one + END, one + one + END, max(length, 160))[:length]]

    # Entry limit: buffers longer than a directory read.
    for count in (1021, 1022, 1023, 1100):
        entries = b"".join(ent(0x01, i + 1, 1000 + (i % 7)) for i in range(count))
        yield "%d entries at 16" % count, [buf(entries, b"", 16 + 8 * count)]
        yield "%d entries at 16 with end" % count, [buf(entries + END, b"", 24 + 8 * count)]
        shrink = b"".join(ent(0x01, i + 1, 100000 - i) for i in range(count))
        yield "%d shrinking entries" % count, [buf(shrink, b"", 16 + 8 * count)]
    full = b"".join(ent(0x22, i, 5000 + i) for i in range(1022))
    yield "directory buffer filled from 16", [buf(full)]

    # Several observations: duplicates, reorderings, partial reads.
    for n in range(40):
        pool = [valid_entry(rng) for _ in range(rng.randrange(1, 30))]
        # Same location and size, differing only in byte 0 or byte 7.
        if rng.random() < 0.5:
            base = pool[0]
            pool.append(bytes([base[0] ^ 0x40]) + base[1:])
            pool.append(base[:7] + bytes([base[7] ^ 1]))
        bufs = []
        for _ in range(rng.randrange(1, 6)):
            chosen = rng.sample(pool, rng.randrange(0, len(pool) + 1))
            table = b"".join(chosen) + (END if rng.random() < 0.7 else b"")
            if rng.random() < 0.5:
                bufs.append(buf(table))
            else:
                bufs.append(buf(END, table))
        if rng.random() < 0.3:
            bufs.append(b"")
        yield "observations %d" % n, bufs

    # Random directories.
    for n in range(150):
        at16 = random_table(rng, rng.randrange(0, 20), end=rng.random() < 0.7, damage=rng.random() < 0.3)
        at144 = random_table(rng, rng.randrange(0, 20), end=rng.random() < 0.7, damage=rng.random() < 0.3)
        if rng.random() < 0.3:
            at16 = END + at16
        length = rng.choice([8192, 8192, 8192, rng.randrange(0, 400), rng.randrange(8000, 9000)])
        big = buf(at16[:128], at144, max(length, 152 + len(at144)), fill=rng.choice([0, 0, 0xFF, 0x01]))
        yield "random %d" % n, [big[:length]]

    # Random bytes: mostly nothing valid, sometimes a lucky entry.
    for n in range(20):
        yield "noise %d" % n, [bytes(rng.choice([0x01, 0x00, 0x21, 0x02, 0x22, rng.randrange(256)])
                                     for _ in range(rng.randrange(0, 400)))]


def main():
    cli = sys.argv[1]
    t = Tally()
    with tempfile.TemporaryDirectory() as tmp:
        # Sanitized builds start slowly; they check every stride-th case.
        stride = int(os.environ.get("VELMORA_REFERENCE_STRIDE", "1"))
        for index, (name, buffers) in enumerate(cases()):
            if index % stride:
                continue
            paths = []
            for k, data in enumerate(buffers):
                paths.append(os.path.join(tmp, "c%d_%d.bin" % (index, k)))
                with open(paths[-1], "wb") as f:
                    f.write(data)
            expected = ref.listing(buffers)
            result = run_velmora(cli, "pat", *paths)
            t.check(name, result.returncode == 0 and result.stdout == expected and result.stderr == "",
                    "exit %d\n--- expected\n%s--- got\n%s%s" % (result.returncode, expected[:2000],
                                                               result.stdout[:2000], result.stderr))
            for path in paths:
                os.remove(path)

        result = run_velmora(cli, "pat")
        t.check("no arguments is a usage error", result.returncode == 2 and result.stdout == "",
                "exit %d" % result.returncode)
        missing = os.path.join(tmp, "missing.bin")
        good = os.path.join(tmp, "good.bin")
        with open(good, "wb") as f:
            f.write(buf(ent(0x22, 1, 100) + END))
        result = run_velmora(cli, "pat", good, missing)
        t.check("missing file fails", result.returncode == 1 and result.stdout == ""
                and last_line(result.stderr).startswith("velmora: "), "exit %d" % result.returncode)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
