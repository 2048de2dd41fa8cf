#!/usr/bin/env bash
# Builds the Windows programs and writes dist/velmora-VERSION-win64.zip: both
# programs, a read-me for Windows users and the licence, in one folder.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^ *VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/app/velmora.rc)
name=velmora-$version-win64

cmake --preset windows >/dev/null
cmake --build --preset windows --target velmora_app velmora_cli -j "${VELMORA_JOBS:-$(nproc)}"
# The icon, manifest and version read back from the built program.
if ! check=$(ctest --preset windows -R '^app_resources$' 2>&1); then echo "$check"; exit 1; fi

# The static runtime brings its debug sections along; users need none of them.
stage=build/windows/package
strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' build/windows/CMakeCache.txt)
mkdir -p "$stage" dist
for program in velmora.exe velmora-cli.exe; do "$strip" -o "$stage/$program" "build/windows/$program"; done

python3 - "$name" "$version" "$stage" <<'PY'
import os, sys, zipfile
name, version, stage = sys.argv[1:4]
def text(path):
    # Notepad on older Windows shows bare LF files as one line.
    with open(path, encoding="utf-8") as f:
        return f.read().replace("@VERSION@", version).replace("\n", "\r\n")
target = f"dist/{name}.zip"
with zipfile.ZipFile(target + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for program in ("velmora.exe", "velmora-cli.exe"):
        z.write(f"{stage}/{program}", f"{name}/{program}")
    z.writestr(f"{name}/README.txt", text("tools/windows-readme.txt"))
    z.writestr(f"{name}/LICENSE.txt", text("LICENSE"))
os.replace(target + ".tmp", target)
with zipfile.ZipFile(target) as z:
    for info in z.infolist():
        print(f"{info.file_size:10d}  {info.filename}")
print(f"wrote {target} ({os.path.getsize(target)} bytes)")
PY
