#!/usr/bin/env bash
# Takes the README's screenshot: the window after an analysis of examples/transect.txt, under
# Wine on a private Xvfb display, saved as docs/screenshot.png. Needs the 64-bit build (make win64).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WIN64:-build-win64}
windows() { echo "Z:$(realpath -m "$1")" | tr / '\\'; }
tools/wine-run.sh "$build/wine" "$build/tests/window_tests.exe" --screenshot \
  "$(windows examples/transect.txt)" "$(windows "$build/screenshot.bmp")"
python3 - "$build/screenshot.bmp" docs/screenshot.png <<'PY'
# 24-bit bottom-up BMP to PNG, standard library only.
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
assert bits == 24 and height > 0
stride = (width * 3 + 3) & ~3
rows = []
for y in range(height - 1, -1, -1):
    row = data[offset + y * stride: offset + y * stride + width * 3]
    rows.append(b"\0" + bytes(c for i in range(0, len(row), 3) for c in (row[i + 2], row[i + 1], row[i])))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
with open(sys.argv[2], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n")
    f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
    f.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 9)))
    f.write(chunk(b"IEND", b""))
PY
echo docs/screenshot.png
