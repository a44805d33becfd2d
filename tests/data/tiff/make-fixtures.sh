#!/usr/bin/env bash
# Makes the TIFF test files once from small synthetic pictures with Debian's python3-pil,
# libtiff-tools and ImageMagick; the tests recompute the same formulas (tiff_test.cpp).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

/usr/bin/python3 - "$tmp" <<'PY'
import sys
from PIL import Image
tmp = sys.argv[1]
W, H = 13, 11

def colour(x, y): return ((20 * x) & 255, (23 * y) & 255, (255 - 9 * (x + y)) & 255)
def alpha(x, y): return 255 if y == 0 else 0 if y == 1 else (x * 37 + y * 11) & 255
def grey8(x, y): return (x * 17 + y * 29) & 255
def grey16(x, y): return grey8(x, y) * 256 + ((x * 7 + y * 13) & 255)
def white(x, y): return (x + 2 * y) % 5 < 2
def index(x, y): return (x * 3 + y * 5) % 23
def entry(i): return ((i * 11) & 255, (255 - i * 7) & 255, (i * 29) & 255)

def make(mode, w, h, f):
    img = Image.new(mode, (w, h))
    img.putdata([f(x, y) for y in range(h) for x in range(w)])
    return img

rgb = make("RGB", W, H, colour)
rgba = make("RGBA", W, H, lambda x, y: colour(x, y) + (alpha(x, y),))
grey = make("L", W, H, grey8)
deep = make("I;16", W, H, grey16)
bilevel = make("1", W, H, lambda x, y: 255 if white(x, y) else 0)
pal = make("P", W, H, index)
pal.putpalette([c for i in range(256) for c in entry(i)])
tiles = make("RGB", 37, 21, colour)

for name, comp in [("raw", "raw"), ("lzw", "tiff_lzw"), ("deflate", "tiff_deflate")]:
    rgb.save(f"rgb-{name}.tif", compression=comp)
    rgba.save(f"rgba-{name}.tif", compression=comp)
rgb.save("rgb-jpeg.tif", compression="jpeg", quality=95)
for name, comp in [("raw", "raw"), ("packbits", "packbits"), ("deflate", "tiff_deflate"),
                   ("g3", "group3"), ("g4", "group4")]:
    bilevel.save(f"bilevel-{name}.tif", compression=comp)
grey.save("grey8-raw.tif", compression="raw")
grey.save("grey8-lzw.tif", compression="tiff_lzw")
deep.save("grey16-le.tif", compression="raw")
pal.save("palette-raw.tif", compression="raw")
pal.save("palette-lzw.tif", compression="tiff_lzw")
grey.save(f"{tmp}/grey.tif", compression="raw")
rgb.save(f"{tmp}/rgb.tif", compression="raw")
rgba.save(f"{tmp}/rgba.tif", compression="raw")
bilevel.save(f"{tmp}/bilevel.tif", compression="raw")
deep.save(f"{tmp}/deep.tif", compression="raw")
tiles.save(f"{tmp}/tiles.tif", compression="raw")
PY

# Strips of 3 rows, colour tiles of 16 x 16, a big-endian 16-bit file, three pages.
tiffcp -s -r 3 "$tmp/grey.tif" grey8-strips3.tif
tiffcp -s -r 3 -c lzw "$tmp/rgb.tif" rgb-strips3-lzw.tif
tiffcp -t -w 16 -l 16 -c zip "$tmp/tiles.tif" rgb-tiles.tif
tiffcp -c jpeg:95 "$tmp/rgb.tif" rgb-jpeg-ycbcr.tif
tiffcp -c jpeg:r:95 "$tmp/rgba.tif" rgba-jpeg.tif
tiffcp -B "$tmp/deep.tif" grey16-be.tif
tiffcp "$tmp/grey.tif" "$tmp/rgb.tif" "$tmp/bilevel.tif" multipage.tif
# ImageMagick writes bilevel Group 4 as white-is-zero.
convert "$tmp/bilevel.tif" -compress Group4 bilevel-g4-im.tif
