"""Independent model of a download folder, used to check `velmora download`.

Given a camera-image folder (directory.bin and photo-LLLLLL.bin files) and
the download options, it says which files each photo must produce, in which
order, and what the raw archives, transfers, Bayer planes, metadata files and
the session log hold. USB logs are modelled as the sequence of transfers the
camera conversation takes; their timings are accepted as any number that
never decreases. PNG renders are checked pixel for pixel against
render_reference for the renders a caller picks.
"""

import os
import re
import struct
import zlib

import mars_reference
import pat_reference
import render_reference

LEAD_IN = 128
STAMP = r"\d{12}"

STYLE_FLAGS = ["restrained", "balanced", "expressive"]
SET_NAMES = ["brighter", "more-color", "lower-contrast", "stronger-destripe"]
PATTERN_NUMBER = {"rggb": 0, "bggr": 1, "grbg": 2, "gbrg": 3}
STYLE_NUMBER = {name: n for n, name in enumerate(render_reference.STYLES)}
GLITCHES = render_reference.GLITCHES


class Options:
    """The download options; names follow the command line."""

    def __init__(self, styles=("restrained", "balanced", "expressive"), sets=(), pattern="bggr", **flags):
        self.styles = list(styles)
        self.sets = list(sets)
        self.pattern = pattern
        known = {"legacy_proc", "baseline", "historical_mars", "all_bayer_patterns", "extreme_glitch",
                 "experimental", "save_transfer", "save_bayer", "save_usb_log", "save_metadata", "dated_folder"}
        for name in known:
            setattr(self, name, bool(flags.pop(name, False)))
        if flags:
            raise ValueError("unknown options: %s" % sorted(flags))

    def arguments(self):
        args = ["--styles", ",".join(self.styles) if self.styles else "none", "--pattern", self.pattern]
        if self.sets:
            args += ["--sets", ",".join(self.sets)]
        for name in sorted(vars(self)):
            if getattr(self, name) is True:
                args.append("--" + name.replace("_", "-"))
        return args


# ---- the camera image -----------------------------------------------------

class Photo:
    def __init__(self, index, pat, stored):
        self.index = index
        self.pat = pat
        self.kind = pat[0] & 15
        self.compressed = bool(pat[0] & 0x20)
        self.size = pat_reference.u24(pat[4], pat[5], pat[6])
        self.width, self.height = pat_reference.SHAPES[self.kind]
        self.stored = stored
        self.code = pat_reference.code_of(pat)

    @property
    def still(self):
        return self.width > 0 and self.height > 0

    @property
    def stem(self):
        return "Velmora_%03d_%s" % (self.index + 1, self.code)

    def transfer(self):
        out = bytearray(pat_reference.transfer_length(self.size))
        for i in range(LEAD_IN):
            out[i] = 0xA0 ^ i
        out[LEAD_IN:LEAD_IN + self.size] = self.stored
        return bytes(out)


def load_photos(folder):
    with open(os.path.join(folder, "directory.bin"), "rb") as f:
        directory = f.read().ljust(8192, b"\0")
    stored = {}
    for name in os.listdir(folder):
        m = re.fullmatch(r"photo-([0-9a-f]{6})\.bin", name)
        if m:
            with open(os.path.join(folder, name), "rb") as f:
                stored[int(m.group(1), 16)] = f.read()
    photos = []
    for i, pat in enumerate(pat_reference.merge([pat_reference.observe(directory)] * 5)):
        size = pat_reference.u24(pat[4], pat[5], pat[6])
        data = stored.get(pat_reference.u24(pat[1], pat[2], pat[3]), b"")[:size]
        photos.append(Photo(i, pat, data.ljust(size, b"\0")))
    return directory, photos


# ---- what one photo produces ----------------------------------------------

def hex_bytes(data, limit=None):
    data = bytes(data)
    text = " ".join("%02x" % b for b in data[:limit])
    if limit is not None and len(data) > limit:
        text += " ..."
    return text


def variant_outcomes(photo):
    """[(suffixes made, error or None)] for decoder variants 1..8."""
    out = []
    for variant in range(1, 9):
        if variant <= 7:
            names = ["fun-offset%d-proc21" % variant]
        else:
            names = ["fun-swapsigns-proc21", "fun-swapsigns-baseline"]
        try:
            mars_reference.decode_raw_photo(photo.stored, photo.width, photo.height, True, variant)
            out.append((names, None))
        except mars_reference.DecodeError as e:
            out.append(([], str(e)))
    return out


def render_suffixes(options, photo):
    """(PNG suffixes in the order they are written, skipped-variant errors)."""
    styles = [s for s in STYLE_FLAGS if s in options.styles]
    if options.legacy_proc:
        styles += ["proc20", "proc23"]
    suffixes = []
    for style in styles:
        suffixes.append(style)
        suffixes += [style + "-" + s for s in SET_NAMES if s in options.sets]
    if options.baseline:
        suffixes.append("baseline")
    if options.historical_mars:
        suffixes.append("historical-mars")
    if options.all_bayer_patterns:
        suffixes += ["bayer-bggr", "bayer-rggb", "bayer-grbg", "bayer-gbrg"]
    if options.extreme_glitch:
        suffixes += ["extreme-" + g for g in GLITCHES]
    skipped = []
    if options.experimental:
        suffixes.append("fun-rggb-proc21")
        if not photo.compressed:
            suffixes += ["fun-bggr-mars", "fun-rggb-baseline", "fun-gbrg-proc21"]
        else:
            for names, error in variant_outcomes(photo):
                suffixes += names
                if error is not None:
                    skipped.append(error)
    return suffixes, skipped


def photo_files(options, photo, stamp, counter=""):
    """File names of one saved photo, in the order they are written."""
    tail = stamp + counter
    names = ["%s_%s.velmoraraw" % (photo.stem, tail)]
    if options.save_transfer:
        names.append("%s_transfer_%s.bin" % (photo.stem, tail))
    if options.save_metadata:
        names.append("%s_metadata_%s.txt" % (photo.stem, tail))
    if options.save_bayer:
        names.append("%s_bayer_%s.bin" % (photo.stem, tail))
    suffixes, _ = render_suffixes(options, photo)
    names += ["%s_%s_%s.png" % (photo.stem, s, tail) for s in suffixes]
    return names


def metadata_text(photo, stamp):
    return ("PAT: %s\nHeader: %s\nDimensions: %dx%d\nCompressed: %s\nOriginal stored bytes: %d\n"
            "Download time (local): %s\n" % (hex_bytes(photo.pat, 8), hex_bytes(photo.stored[:12], 12),
                                              photo.width, photo.height, "yes" if photo.compressed else "no",
                                              photo.size, stamp))


def bayer_plane(photo):
    return mars_reference.decode_raw_photo(photo.stored, photo.width, photo.height, photo.compressed, 0)


# ---- renders --------------------------------------------------------------

def render_for(suffix, photo, pattern_name):
    """The image a PNG suffix names: (width, height, pixels)."""
    user = PATTERN_NUMBER[pattern_name]
    w, h, raw = photo.width, photo.height, photo.stored

    def plane(variant=0, compressed=photo.compressed):
        return list(mars_reference.decode_raw_photo(raw, w, h, compressed, variant))

    fixed = {
        "fun-rggb-proc21": (0, 1), "fun-bggr-mars": (1, 6), "fun-rggb-baseline": (0, 5), "fun-gbrg-proc21": (3, 1),
    }
    if suffix in fixed:
        pattern, style = fixed[suffix]
        return render_reference.render_photo(raw, plane(), w, h, pattern, style, 0)
    m = re.fullmatch(r"fun-offset(\d)-proc21", suffix)
    if m:
        return render_reference.render_photo(raw, plane(int(m.group(1)), True), w, h, 1, 1, 0)
    if suffix.startswith("fun-swapsigns-"):
        style = 5 if suffix.endswith("baseline") else 1
        return render_reference.render_photo(raw, plane(8, True), w, h, 1, style, 0)
    if suffix.startswith("bayer-"):
        return render_reference.render_photo(raw, plane(), w, h, PATTERN_NUMBER[suffix[6:]], 1, 0)
    if suffix.startswith("extreme-"):
        balanced = render_reference.render_photo(raw, plane(), w, h, user, 1, 0)
        return render_reference.glitch(balanced, GLITCHES.index(suffix[8:]))
    if suffix == "baseline":
        return render_reference.render_photo(raw, plane(), w, h, user, 5, 0)
    if suffix == "historical-mars":
        return render_reference.render_photo(raw, plane(), w, h, user, 6, 0)
    for style in ("restrained", "balanced", "expressive", "proc20", "proc23"):
        if suffix == style:
            return render_reference.render_photo(raw, plane(), w, h, user, STYLE_NUMBER[style], 0)
        if suffix.startswith(style + "-"):
            set_number = SET_NAMES.index(suffix[len(style) + 1:]) + 1
            return render_reference.render_photo(raw, plane(), w, h, user, STYLE_NUMBER[style], set_number)
    raise ValueError("unknown render suffix " + suffix)


def read_png(data):
    """(width, height, pixels) of an 8-bit truecolour PNG with filter type 0 rows."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, width, height = 8, b"", None, None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] != zlib.crc32(kind + body):
            raise ValueError("bad CRC in " + kind.decode())
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (depth, colour) != (8, 2):
                raise ValueError("not 8-bit RGB")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    rows = zlib.decompress(idat)
    stride = width * 3 + 1
    if len(rows) != stride * height or any(rows[y * stride] != 0 for y in range(height)):
        raise ValueError("unexpected scanline layout")
    px = []
    for y in range(height):
        px += rows[y * stride + 1:(y + 1) * stride]
    return width, height, px


# ---- USB logs and the session log -----------------------------------------

def _conversation_helpers(records):
    def command(label, data):
        records.append(("OUT", "04", (len(data) + 1) // 3, label, data))

    def status(step):
        command(step + " / request status", "21")
        records.append(("IN", "83", 16, step + " / status response", None))

    def command_with_status(label, data):
        command(label, data)
        status(label)
    return command, status, command_with_status


def directory_read_records(directory):
    records = []
    command, status, cws = _conversation_helpers(records)
    status("initial status")
    for phase, op, deadline in (("INIT", "b5", 250), ("GET_DATA", "0f", 2000)):
        if phase == "GET_DATA":
            status("GET_DATA initial status")
        cws(phase + " start 0x51", "19 51")
        cws("%s operation 0x%s" % (phase, op), "19 " + op)
        cws(phase + " address byte 1 = 0x00", "19 00")
        command(phase + " address byte 2 = 0x00; begin bounded positioning poll", "19 00")
        status("%s positioning poll 1 (paced; %dms deadline)" % (phase, deadline))
        for b in range(3, 7):
            cws("%s address byte %d = 0x00" % (phase, b), "19 00")
        command(phase + " final data-intent token", "19")
        records.append(("IN", "83", 16, "INIT final 16-byte response" if phase == "INIT" else "GET_DATA final response",
                        None))
    records.append(("IN", "82", 8192, "bounded read-only 8192-byte configuration/PAT read", hex_bytes(directory, 64)))
    return records


def photo_fetch_records(photo):
    records = []
    command, status, cws = _conversation_helpers(records)
    status("PHOTO GET_DATA initial status")
    cws("PHOTO GET_DATA start 0x51", "19 51")
    cws("PHOTO GET_DATA operation 0x0f", "19 0f")
    cws("PHOTO address byte 1", "19 %02x" % photo.pat[1])
    command("PHOTO address byte 2; begin bounded positioning poll", "19 %02x" % photo.pat[2])
    status("PHOTO GET_DATA positioning poll 1 (paced; 2000ms deadline)")
    for b in range(3, 7):
        cws("PHOTO address byte %d" % b, "19 %02x" % photo.pat[b])
    command("PHOTO final data-intent token", "19")
    records.append(("IN", "83", 16, "PHOTO final response", None))
    transfer = photo.transfer()
    for k in range(len(transfer) // 8192):
        records.append(("IN", "82", 8192, "PHOTO data chunk %d" % (k + 1), hex_bytes(transfer[k * 8192:], 64)))
    return records


RECORD = re.compile(r"#(\d+) \+(\d+)ms (OUT|IN) endpoint=([0-9a-f]{2}) requested=(\d+) actual=(\d+) OK error=0 (.*)")
STATUS_DATA = re.compile(r"  [0-9a-f]{2}( [0-9a-f]{2}){15}")


class SessionLogReader:
    """Walks a session log line by line; every mismatch is collected."""

    def __init__(self, text):
        self.lines = text.split("\n")
        if self.lines and self.lines[-1] == "":
            self.lines.pop()
        else:
            self.lines.append("<no final line break>")
        self.at = 0
        self.problems = []

    def next(self):
        if self.at >= len(self.lines):
            return "<end of log>"
        self.at += 1
        return self.lines[self.at - 1]

    def expect(self, wanted, where):
        got = self.next()
        if got != wanted:
            self.problems.append("%s: %r, wanted %r" % (where, got, wanted))

    def expect_records(self, records, where):
        last_ms = 0
        for n, (direction, endpoint, requested, label, data) in enumerate(records, 1):
            line, data_line = self.next(), self.next()
            m = RECORD.fullmatch(line)
            wanted = (str(n), direction, endpoint, str(requested), str(requested), label)
            if not m or (m.group(1), m.group(3), m.group(4), m.group(5), m.group(6), m.group(7)) != wanted:
                self.problems.append("%s record %d: %r, wanted %s" % (where, n, line, wanted))
                return
            if int(m.group(2)) < last_ms:
                self.problems.append("%s record %d: time went back" % (where, n))
            last_ms = int(m.group(2))
            ok = STATUS_DATA.fullmatch(data_line) if data is None else data_line == "  " + data
            if not ok:
                self.problems.append("%s record %d data: %r" % (where, n, data_line[:80]))

    def done(self):
        if self.at != len(self.lines):
            self.problems.append("unexpected line %d: %r" % (self.at + 1, self.lines[self.at]))


def check_session_log(text, directory, events, saved, failed):
    """events: per processed photo, in order, ("saved" | "failed", photo, raw name, error or None,
    skipped-variant errors, True when its fetch completed, or (chunk, error code) when it failed at that
    data chunk and its log is kept). Returns a list of problems."""
    log = SessionLogReader(text)
    log.expect("Velmora 0.7.4 \u2014 read-only image recovery", "header")
    log.expect("USB: 093A:010E / WinUSB", "header")
    log.expect("Destination: user-selected folder", "header")
    log.expect("", "header")
    for outcome, photo, raw_name, error, skipped, fetched in events:
        item = photo.index + 1
        if raw_name is not None:
            log.expect("Photo %d PAT %s raw=%s" % (item, hex_bytes(photo.pat, 8), raw_name), "photo %d" % item)
        if isinstance(fetched, tuple):
            # A fetch that failed at data chunk k: its records up to the failed read.
            k, code = fetched
            complete = photo_fetch_records(photo)[:28 + k - 1]
            log.expect_records(complete, "photo %d fetch" % item)
            failed_read = re.fullmatch(r"#%d \+\d+ms IN endpoint=82 requested=8192 actual=0 FAIL error=%d "
                                       r"PHOTO data chunk %d" % (len(complete) + 1, code, k), log.next())
            if not failed_read:
                log.problems.append("photo %d fetch: failed read record missing" % item)
            log.expect("  ", "photo %d failed read data" % item)
            log.expect("", "photo %d" % item)
        elif fetched:
            log.expect_records(photo_fetch_records(photo), "photo %d fetch" % item)
            log.expect("", "photo %d" % item)
        for message in skipped:
            log.expect("Optional glitch variant skipped: " + message, "photo %d" % item)
        if outcome == "failed":
            log.expect("Photo %d failed: %s" % (item, error), "photo %d" % item)
    log.expect("", "closing")
    log.expect("Completed: %d successful; %d failed." % (saved, failed), "closing")
    for k in range(1, 6):
        log.expect("", "observation %d" % k)
        log.expect("Directory observation %d" % k, "observation %d" % k)
        log.expect_records(directory_read_records(directory), "observation %d" % k)
    log.done()
    return log.problems
