"""Independent model of the directory table rules: 8-byte entries (tuples of 8 ints here) start at byte 16 or 144 of a
buffer; the listing is `velmora pat`'s text."""

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
