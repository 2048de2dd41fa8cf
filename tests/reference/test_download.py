"""Checks `velmora download` against download_reference on generated camera
images: every file of the download folder, its name and its bytes, the
refusals and exit statuses of the command.

Usage: python3 test_download.py /path/to/velmora
"""

import os
import random
import re
import subprocess
import sys
import tempfile

import download_reference as ref

HEADER_BYTE_7 = 50


def header(flags, width, height):
    return bytes([0x56, flags, width // 16, height // 16, 0, 0, 0, HEADER_BYTE_7, 0, 0, 0, 0])


def smooth_plane(rng, width, height):
    return bytes((x * 3 + y * 2 + rng.randrange(24)) % 256 for y in range(height) for x in range(width))


def build_camera(folder, photos):
    """photos: [(flags, stored bytes)], stored in this order at 0x100, 0x200, ..."""
    os.makedirs(folder)
    directory = bytearray(8192)
    at = 16
    for k, (flags, stored) in enumerate(photos):
        location = 0x100 * (k + 1)
        size = len(stored)
        directory[at:at + 8] = bytes([flags, location & 255, (location >> 8) & 255, location >> 16,
                                      size & 255, (size >> 8) & 255, size >> 16, 0])
        at += 8
        with open(os.path.join(folder, "photo-%06x.bin" % location), "wb") as f:
            f.write(stored)
    directory[at] = 0xFF
    with open(os.path.join(folder, "directory.bin"), "wb") as f:
        f.write(bytes(directory))


def main_camera(rng):
    lr = (176, 144)
    random_stream = bytes(rng.randrange(256) for _ in range(6000)) + bytes(4000)
    # Two seed bytes and zero bits only: variants starting 6 or 7 bits late run out.
    tight_stream = bytes([0x90, 0x70]) + bytes(3168)
    return [
        (0x20, header(0x20, *lr) + random_stream),                  # 1 LR-CP
        (0x00, header(0x00, *lr) + smooth_plane(rng, *lr)),         # 2 LR-nP
        (0x01, bytes(rng.randrange(256) for _ in range(3000))),     # 3 non-still
        (0x20, header(0x20, *lr) + tight_stream),                   # 4 LR-CP, two variants skipped
        (0x02, header(0x02, 352, 288) + smooth_plane(rng, 352, 288)),  # 5 HR-nP
        (0x20, header(0x20, *lr) + bytes([0x80, 0x80]) + bytes(60)),  # 6 LR-CP, stream too short
    ]


class Runner:
    def __init__(self, velmora, tmp):
        self.velmora = velmora
        self.tmp = tmp
        self.passed = 0
        self.failed = 0
        self.env = dict(os.environ, VELMORA_SIM_CLOCK="virtual")

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL %s: %s" % (name, detail))
        return ok

    def run(self, args):
        proc = subprocess.run([self.velmora, *args], capture_output=True, text=True, env=self.env)
        return proc.returncode, proc.stdout, proc.stderr

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)


def read(path, mode="rb"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8", "newline": ""})) as f:
        return f.read()


def stamp_of(folder, photo, counter=""):
    pattern = re.escape(photo.stem) + r"_(\d{12})" + re.escape(counter) + r"\.velmoraraw"
    found = sorted(m.group(1) for m in (re.fullmatch(pattern, n) for n in os.listdir(folder)) if m)
    return found[0] if len(found) == 1 else None


def session_files(folder):
    return [n for n in os.listdir(folder) if re.fullmatch(r"Velmora_session_\d{12}\.txt", n)]


def check_full_download(t, camera, directory, photos):
    """Every option of the job over six photos: a skipped non-still entry, a
    photo whose stream is too short, two skipped decoder variants."""
    options = ref.Options(styles=["balanced"], sets=["brighter"], pattern="grbg", legacy_proc=True, baseline=True,
                          historical_mars=True, all_bayer_patterns=True, extreme_glitch=True, experimental=True,
                          save_transfer=True, save_bayer=True, save_usb_log=True, save_metadata=True)
    out = t.path("full")
    rc, stdout, stderr = t.run(["download", "--all", "--to", out, "--simulated-camera=" + camera,
                                *options.arguments()])
    t.check("full: exit status and summary", rc == 1 and stdout == "Finished: 4 saved, 2 failed.\n",
            "rc %d %r %s" % (rc, stdout, stderr[-300:]))
    error_lines = [line for line in stderr.splitlines() if re.match(r"Photo \d+: ", line)]
    t.check("full: one error line", error_lines == ["Photo 6: Truncated compressed Mars symbol"], error_lines)
    t.check("full: skipped entry reported", "Unsupported non-still entry skipped." in stderr.splitlines())

    expected_names = set()
    events = []
    for photo in photos:
        if not photo.still:
            continue
        stamp = stamp_of(out, photo)
        if not t.check("full: %s archived once with a 12-digit stamp" % photo.stem, stamp is not None):
            continue
        raw_name = "%s_%s.velmoraraw" % (photo.stem, stamp)
        t.check("full: %s raw archive" % photo.stem, read(os.path.join(out, raw_name)) == photo.stored)
        if photo.index == 5:
            names = ref.photo_files(options, photo, stamp)[:3]  # archive, transfer, metadata; then decoding fails
            events.append(("failed", photo, raw_name, "Truncated compressed Mars symbol", [], True))
        else:
            names = ref.photo_files(options, photo, stamp)
            events.append(("saved", photo, raw_name, None, ref.render_suffixes(options, photo)[1], True))
        expected_names.update(names)
        t.check("full: %s transfer" % photo.stem,
                read(os.path.join(out, "%s_transfer_%s.bin" % (photo.stem, stamp))) == photo.transfer())
        t.check("full: %s metadata" % photo.stem,
                read(os.path.join(out, "%s_metadata_%s.txt" % (photo.stem, stamp)), "r") ==
                ref.metadata_text(photo, stamp))
        if photo.index != 5:
            t.check("full: %s Bayer plane" % photo.stem,
                    read(os.path.join(out, "%s_bayer_%s.bin" % (photo.stem, stamp))) == ref.bayer_plane(photo))
    tight = [e[4] for e in events if e[1].index == 3]
    t.check("full: variant skips modelled", tight == [["Truncated compressed Mars symbol"] * 2], tight)

    sessions = session_files(out)
    t.check("full: one session log", len(sessions) == 1, sessions)
    actual = set(os.listdir(out)) - set(sessions)
    t.check("full: exactly the expected files", actual == expected_names,
            "missing %s, unexpected %s" % (sorted(expected_names - actual)[:5], sorted(actual - expected_names)[:5]))
    if sessions:
        problems = ref.check_session_log(read(os.path.join(out, sessions[0]), "r"), directory, events, 4, 2)
        t.check("full: session log", not problems, "; ".join(problems[:5]))

    # Renders, pixel for pixel: styles with sets, pattern, glitch and decoder-variant renders.
    picks = {0: ["proc20-brighter", "fun-offset3-proc21", "fun-swapsigns-baseline", "extreme-mosaic-shred",
                 "bayer-gbrg"],
             1: ["historical-mars", "fun-bggr-mars", "fun-gbrg-proc21", "baseline", "balanced"],
             3: ["fun-offset5-proc21"]}
    for index, suffixes in picks.items():
        photo = photos[index]
        stamp = stamp_of(out, photo)
        for suffix in suffixes:
            name = "%s_%s_%s.png" % (photo.stem, suffix, stamp)
            try:
                got = ref.read_png(read(os.path.join(out, name)))
            except (OSError, ValueError) as e:
                t.check("full: PNG " + name, False, e)
                continue
            want = ref.render_for(suffix, photo, options.pattern)
            t.check("full: PNG " + name, got == want, "pixels differ" if got[:2] == want[:2] else got[:2])


def check_same_photo_twice(t, camera, photos):
    options = ref.Options(styles=["balanced"], save_metadata=True)
    out = t.path("twice")
    rc, stdout, stderr = t.run(["download", "--items", "2,2", "--to", out, "--simulated-camera=" + camera,
                                *options.arguments()])
    t.check("twice: summary", rc == 0 and stdout == "Finished: 2 saved, 0 failed.\n", "rc %d %r" % (rc, stdout))
    photo = photos[1]
    stamps = sorted(re.fullmatch(re.escape(photo.stem) + r"_(\d{12})(_02)?\.velmoraraw", n).group(1)
                    for n in os.listdir(out) if n.endswith(".velmoraraw"))
    if not t.check("twice: two archives", len(stamps) == 2, stamps):
        return
    # Within one second the second download gets collision counters.
    counter = "_02" if stamps[0] == stamps[1] else ""
    expected = set(ref.photo_files(options, photo, stamps[0]) + ref.photo_files(options, photo, stamps[1], counter))
    t.check("twice: names", set(os.listdir(out)) == expected, sorted(os.listdir(out)))


def check_dated_folders(t, camera):
    out = t.path("dated")
    folders = []
    for _ in range(2):
        rc, stdout, _ = t.run(["download", "--items", "1", "--to", out, "--styles", "none", "--baseline",
                               "--dated-folder", "--simulated-camera=" + camera])
        t.check("dated: summary", rc == 0 and stdout == "Finished: 1 saved, 0 failed.\n", stdout)
    folders = sorted(os.listdir(out))
    ok = len(folders) == 2 and all(re.fullmatch(r"\d{4}-\d{2}-\d{2}_0[12]", f) for f in folders)
    t.check("dated: two new folders", ok and folders[0][:10] == folders[1][:10], folders)
    for f in folders:
        names = sorted(os.listdir(os.path.join(out, f)))
        t.check("dated: contents of " + f, len(names) == 2 and names[1].startswith("Velmora_001_LR-CP_baseline_"),
                names)


def check_refusals(t, camera, empty_camera):
    blocker = t.path("a-file")
    with open(blocker, "w") as f:
        f.write("x")
    cases = [
        ("nothing to render", ["--items", "1", "--to", t.path("r1"), "--styles", "none", "--sets", "brighter",
                               "--save-metadata", "--save-usb-log", "--simulated-camera=" + camera],
         "Select at least one output style.", t.path("r1")),
        ("no destination", ["--items", "1", "--to", "", "--simulated-camera=" + camera],
         "Choose a download folder first.", None),
        ("no selection", ["--all", "--to", "", "--simulated-camera=" + empty_camera],
         "Check at least one photo, or use Download All.", None),
        ("folder not creatable", ["--items", "1", "--to", os.path.join(blocker, "sub"),
                                  "--simulated-camera=" + camera], "Cannot create the destination folder.", None),
    ]
    for name, args, text, absent in cases:
        rc, stdout, stderr = t.run(["download", *args])
        last = stderr.strip().splitlines()[-1] if stderr.strip() else ""
        t.check("refusal: " + name, rc == 1 and last == "velmora: " + text and stdout == "",
                "rc %d %r" % (rc, last))
        if absent:
            t.check("refusal: %s creates nothing" % name, not os.path.exists(absent))

    usage = [
        ["--to", t.path("u")],
        ["--all", "--items", "1", "--to", t.path("u")],
        ["--all"],
        ["--items", "0", "--to", t.path("u")],
        ["--items", "1,,2", "--to", t.path("u")],
        ["--all", "--to", t.path("u"), "--styles", "vivid"],
        ["--all", "--to", t.path("u"), "--sets", "darker"],
        ["--all", "--to", t.path("u"), "--pattern", "bgrg"],
        ["--all", "--to", t.path("u"), "--no-such-option"],
    ]
    for args in usage:
        rc, stdout, _ = t.run(["download", *args, "--simulated-camera=" + camera])
        t.check("usage: " + " ".join(args[:4]), rc == 2 and stdout == "", rc)
    t.check("usage: nothing created", not os.path.exists(t.path("u")))


def check_index_past_the_list(t, camera):
    rc, stdout, stderr = t.run(["download", "--items", "1,99", "--to", t.path("past"), "--styles", "balanced",
                                "--simulated-camera=" + camera])
    t.check("past the list: counted, no error line",
            rc == 1 and stdout == "Finished: 1 saved, 1 failed.\n" and not re.search(r"^Photo \d+: ", stderr, re.M),
            "rc %d %r" % (rc, stdout))


def check_photo_timeout(t):
    """The built-in photos with a timed-out chunk in the second fetch."""
    image = t.path("builtin")
    rc, _, _ = t.run(["dump-camera-image", image])
    if rc != 0:
        print("NOTE: no dump-camera-image command; built-in scenario case not run")
        return
    directory, photos = ref.load_photos(image)
    out = t.path("timeout")
    rc, stdout, stderr = t.run(["download", "--items", "1,2,3", "--to", out, "--styles", "balanced",
                                "--save-usb-log", "--simulated-camera=photo-timeout"])
    t.check("timeout: summary", rc == 1 and stdout == "Finished: 2 saved, 1 failed.\n", "rc %d %r" % (rc, stdout))
    error = "WinUsb_ReadPipe (Win32 error 121)"
    t.check("timeout: error line", [l for l in stderr.splitlines() if l.startswith("Photo ")] ==
            ["Photo 2: " + error], stderr[-300:])
    events, names = [], set()
    for photo in photos[:3]:
        if photo.index == 1:
            events.append(("failed", photo, None, error, [], (2, 121)))
            continue
        stamp = stamp_of(out, photo)
        if not t.check("timeout: %s archived" % photo.stem, stamp is not None):
            return
        names.update(ref.photo_files(ref.Options(styles=["balanced"]), photo, stamp))
        t.check("timeout: %s raw" % photo.stem,
                read(os.path.join(out, "%s_%s.velmoraraw" % (photo.stem, stamp))) == photo.stored)
        events.append(("saved", photo, "%s_%s.velmoraraw" % (photo.stem, stamp), None, [], True))
    sessions = session_files(out)
    t.check("timeout: files", set(os.listdir(out)) - set(sessions) == names and len(sessions) == 1,
            sorted(os.listdir(out)))
    if sessions:
        problems = ref.check_session_log(read(os.path.join(out, sessions[0]), "r"), directory, events, 2, 1)
        t.check("timeout: session log", not problems, "; ".join(problems[:5]))


def main():
    if len(sys.argv) != 2:
        print("usage: test_download.py /path/to/velmora")
        return 2
    rng = random.Random(20250314)
    with tempfile.TemporaryDirectory() as tmp:
        t = Runner(os.path.abspath(sys.argv[1]), tmp)
        camera = t.path("camera")
        build_camera(camera, main_camera(rng))
        empty_camera = t.path("empty-camera")
        build_camera(empty_camera, [])
        directory, photos = ref.load_photos(camera)
        assert [p.code for p in photos] == ["LR-CP", "LR-nP", "R1-nP", "LR-CP", "HR-nP", "LR-CP"], \
            [p.code for p in photos]

        check_full_download(t, camera, directory, photos)
        check_same_photo_twice(t, camera, photos)
        check_dated_folders(t, camera)
        check_refusals(t, camera, empty_camera)
        check_index_past_the_list(t, camera)
        check_photo_timeout(t)
    print("%d passed, %d failed" % (t.passed, t.failed))
    return 1 if t.failed else 0


if __name__ == "__main__":
    sys.exit(main())
