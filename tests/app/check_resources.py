#!/usr/bin/env python3
"""Checks the resources linked into velmora.exe, read back with windres: check_resources.py WINDRES VELMORA_EXE"""
import re, subprocess, sys

rc = subprocess.run([sys.argv[1], "-i", sys.argv[2], "-O", "rc"], check=True, capture_output=True, text=True).stdout
group = re.search(r"^101 14 .*?^END", rc, re.M | re.S)
sizes = {int(w, 8) or 256 for w in re.findall(r'"\\(\d{3})\\\d{3}\\000\\000", 1, 32,', group[0] if group else "")}
manifest = rc[rc.find("RT_MANIFEST"):rc.find("END", rc.find("RT_MANIFEST"))]
manifest = "".join(re.findall(r'^\s*"(.*)"$', manifest, re.M)).replace('""', '"')
checks = {
    "icon 101 has 16, 32 and 48 pixel images of 32 bits": {16, 32, 48} <= sizes,
    "manifest asks for common controls 6": 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in manifest,
    "manifest runs as the invoker": 'level="asInvoker"' in manifest,
    "manifest declares no DPI awareness": manifest != "" and "dpiaware" not in manifest.lower(),
    "version 0.7.4 by The Velmora developers":
        "FILEVERSION 0, 7, 4, 0" in rc and '"CompanyName", "The Velmora developers"' in rc,
}
for name, ok in checks.items():
    print(("ok      " if ok else "FAILED  ") + name)
failed = list(checks.values()).count(False)
print(f"{len(checks) - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
