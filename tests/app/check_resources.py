#!/usr/bin/env python3
"""Checks the resources linked into velmora.exe, read back with windres.

usage: check_resources.py WINDRES VELMORA_EXE
"""
import re
import subprocess
import sys


def resource_blocks(listing):
    """Maps (name, type) to the text between BEGIN and END of each resource."""
    blocks = {}
    for m in re.finditer(r"^(\w+) (\w+)\b[^\n]*\n(?:[^\n]*\n)*?BEGIN\n(.*?)^END", listing, re.M | re.S):
        blocks[(m.group(1), m.group(2))] = m.group(3)
    return blocks


def manifest_text(block):
    return "".join(s.replace('""', '"') for s in re.findall(r'^\s*"((?:[^"]|"")*)"', block, re.M))


def main():
    windres, exe = sys.argv[1:3]
    listing = subprocess.run([windres, "-i", exe, "-O", "rc"], check=True, capture_output=True, text=True).stdout
    blocks = resource_blocks(listing)
    icon_sizes = {int(w, 8) or 256 for w, h in re.findall(r'"\\(\d{3})\\(\d{3})\\000\\000", 1, 32', blocks.get(("101", "14"), ""))}
    manifest = manifest_text(blocks.get(("1", "24"), ""))
    version = listing[listing.find("VERSIONINFO"):]
    checks = [
        ("icon 101 has 16, 32 and 48 pixel images of 32 bits", {16, 32, 48} <= icon_sizes),
        ("manifest asks for common controls 6", 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in manifest),
        ("manifest runs as the invoker", 'level="asInvoker"' in manifest),
        ("manifest declares no DPI awareness", manifest != "" and "dpiaware" not in manifest.lower()),
        ("version 0.7.4 by The Velmora developers",
         "FILEVERSION 0, 7, 4, 0" in version and '"CompanyName", "The Velmora developers"' in version),
    ]
    failed = 0
    for name, ok in checks:
        print(("ok      " if ok else "FAILED  ") + name)
        failed += not ok
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
