"""Independent model of the directory table rules, used to check `velmora pat`.

A directory buffer holds 8-byte entries starting at byte 16 or byte 144.
Entries are plain tuples of 8 ints here; the listing is produced as text.
"""

CAP = 16 * 1024 * 1024
MAX_ENTRIES = 1022
SHAPES = {0: (176, 144), 1: (0, 0), 2: (352, 288), 6: (320, 240), 8: (640, 480)}


def transfer_length(size):
    return (size + 432) // 8192 * 8192 + 8192


def u24(b0, b1, b2):
    return b0 + 256 * b1 + 65536 * b2


def entry_ok(e):
    """e: 8 ints. True when the entry describes a photo the camera can serve."""
    if e[0] == 0xFF:
        return False
    kind = e[0] % 16
    if kind not in SHAPES:
        return False
    size = u24(e[4], e[5], e[6])
    if size == 0 or transfer_length(size) > CAP:
        return False
    if kind == 1:
        return True
    w, h = SHAPES[kind]
    full = w * h + 12
    if e[0] & 0x20:
        return 12 <= size < full
    return size == full


def entries_from(buf, start):
    """All whole 8-byte entries from start, at most MAX_ENTRIES of them."""
    n = min((len(buf) - start) // 8, MAX_ENTRIES)
    return [tuple(buf[start + 8 * k:start + 8 * k + 8]) for k in range(n)]


def scan(buf, start):
    """(count, terminated, total) of the run of good entries from start, or None."""
    if start >= len(buf) or len(buf) - start < 8:
        return None
    count, total, ended = 0, 0, False
    for e in entries_from(buf, start):
        if e[0] == 0xFF:
            ended = True
            break
        if not entry_ok(e):
            break
        count += 1
        total += u24(e[4], e[5], e[6])
    if count == 0:
        return None
    return count, ended, total


def find_table(buf):
    scored = []
    for start in (16, 144):
        s = scan(buf, start)
        if s is not None:
            count, ended, total = s
            # Best first: more entries, then terminated, then smaller total, then lower start.
            scored.append(((-count, 0 if ended else 1, total, start), start))
    if not scored:
        return None
    return min(scored)[1]


def take_entries(buf):
    out = []
    for e in entries_from(buf, 0):
        if e[0] == 0xFF or not entry_ok(e):
            break
        out.append(e)
    return out


def observe(buf):
    start = find_table(buf)
    if start is None or start >= len(buf):
        return []
    return take_entries(buf[start:])


def merge(observations):
    kept, seen = [], set()
    for obs in observations:
        for e in obs:
            if e not in seen:
                seen.add(e)
                kept.append(e)
    kept.sort(key=lambda e: (u24(e[1], e[2], e[3]), u24(e[4], e[5], e[6]), e))
    return kept


def code_of(e):
    kind = e[0] & 15
    prefix = {2: "HR", 0: "LR"}.get(kind, "R%d" % kind)
    return prefix + ("-CP" if e[0] & 0x20 else "-nP")


def listing(buffers):
    lines = []
    for i, e in enumerate(merge([observe(b) for b in buffers])):
        w, h = SHAPES[e[0] & 15]
        lines.append("%d %s %s %dx%d %d" % (i, " ".join("%02x" % b for b in e), code_of(e), w, h,
                                            u24(e[4], e[5], e[6])))
    return "".join(line + "\n" for line in lines)
