#!/usr/bin/env bash
# Made the committed JPEG test files in tests/data/jpeg once, from a synthetic picture drawn here.
# Needs libjpeg-turbo-progs (cjpeg, jpegtran) and ImageMagick; the tests never run it.
set -euo pipefail
out=${1:-tests/data/jpeg}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 96 x 64 test card: smooth hue and brightness ramps, hard-edged blocks in pure colours,
# one-pixel lines and a checkerboard, so every subsampling and DCT path has work to do.
python3 - "$work" <<'PY'
import sys, colorsys
w, h = 96, 64
def pixel(x, y):
    if y < 24:                                   # hue ramp, darker towards the top
        r, g, b = colorsys.hsv_to_rgb(x / w, 1.0, 0.4 + 0.6 * y / 23)
        return int(r * 255), int(g * 255), int(b * 255)
    if y < 40:                                   # pure blocks with hard edges
        return [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
                (0, 255, 255), (255, 0, 255), (255, 255, 255), (0, 0, 0)][x // 12]
    if y < 52:                                   # grey ramp crossed by thin lines
        if x % 10 == 3: return (200, 30, 40)
        v = x * 255 // (w - 1)
        return (v, v, v)
    return (255, 255, 255) if (x // 2 + y // 2) % 2 else (20, 40, 160)   # checkerboard
def write(name, width, height, x0=0, y0=0):
    with open(f"{sys.argv[1]}/{name}", "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(bytes(c for y in range(y0, y0 + height) for x in range(x0, x0 + width)
                      for c in pixel(x, y)))
write("card.ppm", w, h)
write("odd.ppm", 37, 23, 29, 21)
write("one.ppm", 1, 1, 5, 30)
with open(f"{sys.argv[1]}/red.ppm", "wb") as f:
    f.write(b"P6\n16 16\n255\n" + bytes([255, 0, 0]) * 256)
PY

card=$work/card.ppm
cjpeg -quality 85 -outfile "$out/colour-420.jpg" "$card"
cjpeg -quality 85 -sample 1x1 -outfile "$out/colour-444.jpg" "$card"
cjpeg -quality 85 -sample 2x1 -outfile "$out/colour-422.jpg" "$card"
cjpeg -quality 85 -progressive -outfile "$out/colour-progressive.jpg" "$card"
cjpeg -quality 85 -restart 1 -outfile "$out/colour-restart.jpg" "$card"
cjpeg -quality 85 -arithmetic -outfile "$out/colour-arithmetic.jpg" "$card"
cjpeg -quality 85 -outfile "$out/odd-37x23-420.jpg" "$work/odd.ppm"
cjpeg -quality 85 -sample 2x1 -progressive -outfile "$out/odd-37x23-422-progressive.jpg" "$work/odd.ppm"
cjpeg -quality 85 -outfile "$out/one-1x1.jpg" "$work/one.ppm"
cjpeg -quality 95 -outfile "$out/red-16x16.jpg" "$work/red.ppm"
cjpeg -quality 85 -grayscale -outfile "$out/grey.jpg" "$card"
cjpeg -quality 85 -grayscale -progressive -restart 2 -outfile "$out/grey-progressive-restart.jpg" "$card"
cjpeg -quality 85 -grayscale -outfile "$out/grey-odd-37x23.jpg" "$work/odd.ppm"
# ImageMagick writes CMYK JPEG files with an Adobe marker and inverted ink values.
convert "$card" -colorspace CMYK -quality 90 "$out/cmyk-adobe.jpg"

# Corrupt files for the regression folder, patched from the files above.
python3 - "$out" <<'PY'
import sys
out = sys.argv[1]
def read(name): return bytearray(open(f"{out}/{name}", "rb").read())
d = read("one-1x1.jpg"); i = d.index(b"\xff\xc0")
d[i + 5:i + 9] = bytes([0xFD, 0xE8, 0xFD, 0xE8])          # frame of 65000 x 65000
open(f"{out}/bad-huge-frame.jpg", "wb").write(d)
d = read("colour-420.jpg"); i = d.index(b"\xff\xc0")
d[i + 9] = 4                                                # 4 components, 3 described
open(f"{out}/bad-component-count.jpg", "wb").write(d)
d = read("colour-restart.jpg"); i = d.index(b"\xff\xd0")
open(f"{out}/bad-cut-at-restart.jpg", "wb").write(d[:i + 1])   # cut inside RST0
PY
