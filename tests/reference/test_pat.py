"""Compares `velmora pat` on generated directories with an independent model of the directory table rules: 8-byte
entries (tuples of 8 ints here) start at byte 16 or 144 of a buffer. usage: test_pat.py VELMORA"""
import itertools
import os
import pathlib
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_runner import Tally, last_line, run_velmora  # noqa: E402

CAP = 16 * 1024 * 1024
MAX_ENTRIES = 1022
SHAPES = {0: (176, 144), 1: (0, 0), 2: (352, 288), 6: (320, 240), 8: (640, 480)}


def u24(b):
    return b[0] + 256 * b[1] + 65536 * b[2]


def entry_ok(e):
    """True when the entry describes a photo the camera can serve."""
    kind, size = e[0] % 16, u24(e[4:7])
    if e[0] == 0xFF or kind not in SHAPES or size == 0 or (size + 432) // 8192 * 8192 + 8192 > CAP:
        return False
    if kind == 1:
        return True
    full = SHAPES[kind][0] * SHAPES[kind][1] + 12
    return 12 <= size < full if e[0] & 0x20 else size == full


def run_from(buf, start):
    """The good entries from start up to the first bad one, and whether an end marker stopped them."""
    out = []
    for k in range(min(max(len(buf) - start, 0) // 8, MAX_ENTRIES)):
        e = tuple(buf[start + 8 * k:start + 8 * k + 8])
        if not entry_ok(e):
            return out, e[0] == 0xFF
        out.append(e)
    return out, False


def observe(buf):
    """Best start first: more entries, then terminated, then smaller total, then the lower start."""
    scored = []
    for start in (16, 144):
        entries, ended = run_from(buf, start)
        if entries:
            scored.append((-len(entries), not ended, sum(u24(e[4:7]) for e in entries), start, entries))
    return min(scored)[4] if scored else []


def listing(buffers):
    kept = []
    for e in (e for buf in buffers for e in observe(buf)):
        kept += [] if e in kept else [e]
    kept.sort(key=lambda e: (u24(e[1:4]), u24(e[4:7]), e))
    lines = []
    for i, e in enumerate(kept):
        kind = e[0] & 15
        code = {2: "HR", 0: "LR"}.get(kind, "R%d" % kind) + ("-CP" if e[0] & 0x20 else "-nP")
        w, h = SHAPES[kind]
        lines.append("%d %s %s %dx%d %d\n" % (i, " ".join("%02x" % b for b in e), code, w, h, u24(e[4:7])))
    return "".join(lines)


END = bytes([0xFF] * 8)
FULL = {0: 25356, 2: 101388, 6: 76812, 8: 307212}
LARGEST = 16776783  # the largest size whose transfer stays within the cap


def ent(flags, loc, size, last=0):
    return bytes([flags, *loc.to_bytes(3, "little"), *size.to_bytes(3, "little"), last])


def buf(at16=b"", at144=b"", length=8192, fill=0):
    b = bytearray([fill] * max(length, 144 + len(at144)))
    b[144:144 + len(at144)], b[16:16 + len(at16)] = at144, at16
    return bytes(b[:length])


def sizes(kind):
    e = FULL.get(kind, 40000)
    return [0, 1, 11, 12, 13, e - 1, e, e + 1, 7759, 7760, LARGEST, LARGEST + 1, 0xFFFFFF]


def entry(rng):
    kind = rng.choice([0, 1, 2, 6, 8, 0, 1, 2, 6, 8, rng.randrange(16)])
    flags = kind | rng.choice([0, 0x20, 0x20]) | rng.choice([0, 0, 0x10, 0x40, 0x80, 0xC0])
    size = rng.choice([FULL.get(kind, 5000), rng.randrange(12, FULL.get(kind, 90000)), rng.choice(sizes(kind))])
    return ent(flags, rng.choice([rng.randrange(1 << 24), rng.randrange(64), 0xFFFFFF]), size, rng.randrange(256))


def cases(rng):
    for kind, compressed in itertools.product(range(16), (0, 0x20)):
        for size in sizes(kind):
            e = ent(kind | compressed, 0x001234, size, 0x07)
            yield "flags %02x size %d" % (kind | compressed, size), [buf(e + END) if size % 2 else buf(END, e + END)]
    for delta, end16, end144 in itertools.product((-1, 0, 1), (b"", END), (b"", END)):
        two = ent(0x22, 1, 60000) + ent(0x22, 2, 60000) + end16
        yield "ranking %d %d %d" % (delta, len(end16), len(end144)), [
            buf(two, ent(0x22, 3, 60000) + ent(0x22, 4, 60000 + delta) + end144)]
    one = ent(0x01, 7, 9)
    for length, (at16, at144) in itertools.product(list(range(0, 40)) + list(range(140, 170)) + [8191, 8192, 8193],
                                                   ((one + one, b""), (END, one + one), (one + END, one + one + END))):
        yield "length %d" % length, [buf(at16, at144, length)]
    for count in (1021, 1022, 1023, 1100):
        for size in (lambda i: 1000 + i % 7, lambda i: 100000 - i):
            entries = b"".join(ent(0x01, i + 1, size(i)) for i in range(count))
            yield "%d entries" % count, [buf(entries, b"", 16 + 8 * count), buf(entries + END, b"", 24 + 8 * count)]
    for n in range(200):
        at16, at144 = (b"".join(entry(rng) for _ in range(rng.randrange(20))) + (END if rng.random() < 0.7 else b"")
                       for _ in range(2))
        length = rng.choice([8192, 8192, rng.randrange(0, 400), rng.randrange(8000, 9000)])
        yield "random %d" % n, [buf(at16[:128], at144, length, rng.choice([0, 0xFF, 0x01]))]
    for n in range(40):
        pool = [entry(rng) for _ in range(rng.randrange(1, 30))]
        pool += [bytes([pool[0][0] ^ 0x40]) + pool[0][1:], pool[0][:7] + bytes([pool[0][7] ^ 1])]
        observations = [rng.sample(pool, rng.randrange(len(pool) + 1)) for _ in range(rng.randrange(1, 6))]
        bufs = [rng.choice([buf, lambda t: buf(END, t)])(b"".join(o) + rng.choice([END, END, b""])) for o in observations]
        yield "observations %d" % n, bufs + [b""] * rng.randrange(2)


def main():
    cli, t = sys.argv[1], Tally()
    stride = int(os.environ.get("VELMORA_REFERENCE_STRIDE", "1"))  # sanitized builds start slowly
    with tempfile.TemporaryDirectory() as tmp:
        for name, buffers in itertools.islice(cases(random.Random(20261206)), 0, None, stride):
            paths = [os.path.join(tmp, "%d.bin" % k) for k in range(len(buffers))]
            for path, data in zip(paths, buffers):
                pathlib.Path(path).write_bytes(data)
            want, got = listing(buffers), run_velmora(cli, "pat", *paths)
            t.check(name, (got.returncode, got.stdout, got.stderr) == (0, want, ""),
                    "exit %d\n--- expected\n%s--- got\n%s%s" % (got.returncode, want[:2000], got.stdout[:2000],
                                                               got.stderr))
        got = run_velmora(cli, "pat")
        t.check("no arguments is a usage error", (got.returncode, got.stdout) == (2, ""), got.stderr)
        got = run_velmora(cli, "pat", paths[0], os.path.join(tmp, "missing.bin"))
        t.check("missing file fails", got.returncode == 1 and got.stdout == "" and
                last_line(got.stderr).startswith("velmora: "), got.stderr)
    return t.finish()


if __name__ == "__main__":
    sys.exit(main())
