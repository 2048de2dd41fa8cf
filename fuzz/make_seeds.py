#!/usr/bin/env python3
"""Writes the seed corpora (fuzz/corpus/<target>/) from the simulator's own
photos and directory, as `velmora dump-camera-image` writes them.

usage: fuzz/make_seeds.py path/to/velmora
"""
import pathlib
import struct
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent


def main():
    with tempfile.TemporaryDirectory() as tmp:
        image = pathlib.Path(tmp) / "image"
        subprocess.run([sys.argv[1], "dump-camera-image", str(image)], check=True, capture_output=True)
        directory = (image / "directory.bin").read_bytes()
        photos = {int(p.stem[6:], 16): p.read_bytes() for p in image.glob("photo-*.bin")}
    lr_cp, lr_np = photos[0x20F], photos[0x23B]  # 176 x 144, compressed and not
    table = directory[:0x50]  # the table and its end marker; the rest is zeros
    # A one-entry directory: an LR-CP photo at location 0x100.
    one = bytes(16) + bytes([0x20, 0x00, 0x01, 0x00]) + struct.pack("<I", len(lr_cp))[:3] + b"\0" + b"\xff"

    def tokens(*words):
        return bytes([len(words)]) + b"".join(bytes([len(w)]) + w.encode() for w in words)

    def files(*named):
        return bytes([len(named) - 1]) + b"".join(
            bytes([len(n)]) + n.encode() + struct.pack("<H", len(c)) + c for n, c in named)

    def camera(flags, choice, dir_bytes, photo=b"", actions=b"", jams=0, polls=1):
        settings = bytes([flags, polls, 0xFF, 0, 0, jams, 0, choice])
        return (settings + struct.pack("<H", len(dir_bytes)) + dir_bytes + struct.pack("<H", len(photo)) + photo
                + actions)

    raw_name = "Velmora_003_LR-CP_250314093005.velmoraraw"
    seeds = {
        "pat": {"builtin": directory, "at-144": bytes(128) + directory[:-128]},
        "mars_decoder": {
            "lr-cp": struct.pack("<hhBB", 176, 144, 3, 0) + lr_cp,
            "lr-np": struct.pack("<hhBB", 176, 144, 2, 0) + lr_np,
            "lr-cp-offset3": struct.pack("<hhBB", 176, 144, 1, 3) + lr_cp[12:4000],
        },
        "render_png": {"plane-%d" % n: lr_np[12 + n * 700:12 + n * 700 + 900] for n in range(3)},
        "hostile_camera": {
            "builtin-lr": camera(2, 0x02, table),
            "builtin-two-jammed-rendered": camera(2 | 4 | 64, 0x22, table, jams=0x05),
            "own-photo-faults": camera(8 | 16 | 32, 0x00, one, lr_cp, actions=bytes([0, 0, 0x61, 0, 0x8f])),
            "no-ack": camera(2, 0x02, table, polls=0),
        },
        "cli": {
            "decode": bytes([0]) + tokens() + files((raw_name, lr_cp)),
            "render": bytes([1]) + tokens("--style", "expressive", "--glitch=channel-tear") + files((raw_name, lr_cp)),
            "render-sized": bytes([1]) + tokens("--size", "176x144", "--uncompressed") + files(("photo", lr_np)),
            "pat": bytes([2]) + tokens() + files(("a", table), ("b", one)),
            "folder": bytes([3]) + tokens("--items", "1", "--save-metadata")
                      + files(("directory.bin", one), ("photo-000100.bin", lr_cp)),
        },
    }
    for target, named in seeds.items():
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in named.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
