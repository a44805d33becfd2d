#!/usr/bin/python3
# Makes the Targa test files once from small synthetic pictures, with ImageMagick's convert,
# Pillow, and hand-written bytes for variants neither tool writes. Run from this folder.
import os
import struct
import subprocess
import tempfile

from PIL import Image, ImageOps

W, H = 7, 5

# The pictures, by column x and row r counted from the top (tga_test.cpp rebuilds them).
def colour(x, r):
    return (8 * (4 * x + 1), 8 * (6 * r + 2), 8 * ((3 * x + 5 * r) % 32))

PAL16 = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
         (0, 255, 255), (255, 0, 255), (128, 0, 0), (0, 128, 0), (0, 0, 128), (128, 128, 0),
         (0, 128, 128), (128, 0, 128), (192, 192, 192), (64, 32, 16)]

def pindex(x, r):
    return (x + 3 * r) % 16

def grey(x, r):
    return 36 * x + 7 * r

def alpha(x, r):
    return 255 - (30 * x + 7 * r)

def picture(kind):
    im = Image.new("RGBA" if kind == "alpha" else "RGB", (W, H))
    for r in range(H):
        for x in range(W):
            if kind == "colour":
                im.putpixel((x, r), colour(x, r))
            elif kind == "palette":
                im.putpixel((x, r), PAL16[pindex(x, r)])
            elif kind == "grey":
                im.putpixel((x, r), (grey(x, r),) * 3)
            else:
                im.putpixel((x, r), colour(x, r) + (alpha(x, r),))
    return im

def check(name, kind):
    # Pillow, an independent decoder, must see the intended picture in every file.
    got = Image.open(name).convert("RGBA" if kind == "alpha" else "RGB")
    want = picture(kind)
    assert list(got.getdata()) == list(want.getdata()), name

tmp = tempfile.mkdtemp()

def im_file(name, kind, *args, pre=()):
    src = os.path.join(tmp, kind + ".png")
    picture(kind).save(src)
    subprocess.run(["convert", src, *pre, *args, name], check=True)
    check(name, kind)

# ImageMagick writes its rows top first whatever the origin flag says (bottom-left unless
# told otherwise), so the picture is turned first to make every file hold the upright one.
turns = {"bl": ["-flip"], "tl": [], "tr": ["-flop"], "br": ["-flip", "-flop"]}
orient = {"bl": "BottomLeft", "tl": "TopLeft", "tr": "TopRight", "br": "BottomRight"}
for o in turns:
    im_file(f"im-24-{o}.tga", "colour", "-orient", orient[o], pre=turns[o])
    im_file(f"im-24rle-{o}.tga", "colour", "-orient", orient[o], "-compress", "RLE",
            pre=turns[o])
im_file("im-32.tga", "alpha", "-orient", "BottomLeft", pre=["-flip"])
im_file("im-32rle-tl.tga", "alpha", "-orient", "TopLeft", "-compress", "RLE")
im_file("im-8map.tga", "palette", "-type", "Palette", "-orient", "TopLeft")
im_file("im-8map-rle.tga", "palette", "-type", "Palette", "-compress", "RLE", "-orient",
        "BottomLeft", pre=["-flip"])
im_file("im-8grey.tga", "grey", "-type", "Grayscale", "-orient", "TopLeft")

def pil_file(name, kind, mode, **opts):
    im = picture(kind)
    if mode == "P":
        im = im.quantize(colors=16, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    elif mode != im.mode:
        im = im.convert(mode)
    im.save(name, **opts)
    check(name, kind)

pil_file("pil-24.tga", "colour", "RGB")
pil_file("pil-24rle-tl.tga", "colour", "RGB", compression="tga_rle", orientation=1)
pil_file("pil-32.tga", "alpha", "RGBA")
pil_file("pil-32rle.tga", "alpha", "RGBA", compression="tga_rle")
pil_file("pil-8map.tga", "palette", "P")
pil_file("pil-8map-rle.tga", "palette", "P", compression="tga_rle")
pil_file("pil-8grey-rle.tga", "grey", "L", compression="tga_rle")

# --- hand-written variants ---

def header(map_type, image_type, first, length, entry, depth, descriptor, w=W, h=H):
    return struct.pack("<BBBHHBHHHHBB", 0, map_type, image_type, first, length, entry, 0, 0,
                       w, h, depth, descriptor)

def word555(c, attribute):
    return (c[2] >> 3) | (c[1] >> 3) << 5 | (c[0] >> 3) << 10 | (0x8000 if attribute else 0)

def opaque16(x, r):
    # The attribute bit of the 16-bit files: clear on a chequer of pixels.
    return (x + r) % 2 == 0

def rows_bottom_up(fn):
    return b"".join(fn(x, r) for r in reversed(range(H)) for x in range(W))

def write(name, data):
    with open(name, "wb") as f:
        f.write(data)

px16 = lambda x, r: struct.pack("<H", word555(colour(x, r), opaque16(x, r)))

def check_hand(name, fn, mode="RGB"):
    # Pillow widens 5-bit channels its own way, so only the top five bits are compared.
    got = Image.open(name).convert(mode)
    for r in range(H):
        for x in range(W):
            g = got.getpixel((x, r))
            want = fn(x, r)
            assert tuple(v & 0xF8 for v in g[:3]) == tuple(v & 0xF8 for v in want[:3]), name

def check_im(name, fn):
    # For files Pillow cannot open: ImageMagick, which keeps the origin as an attribute
    # until told to apply it.
    out = subprocess.run(["convert", name, "-auto-orient", "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    for r in range(H):
        for x in range(W):
            got = out[3 * (r * W + x):3 * (r * W + x) + 3]
            assert tuple(v & 0xF8 for v in got) == tuple(v & 0xF8 for v in fn(x, r)), name

# 16-bit true colour with one attribute bit, raw and run-length (two raw packets per row).
write("hand-16.tga", header(0, 2, 0, 0, 0, 16, 0x01) + rows_bottom_up(px16))
rle = b""
for r in reversed(range(H)):
    for a, b in [(0, 4), (4, W)]:
        rle += bytes([b - a - 1]) + b"".join(px16(x, r) for x in range(a, b))
write("hand-16rle.tga", header(0, 10, 0, 0, 0, 16, 0x01) + rle)
# No attribute bits declared: bit 15 means nothing and the picture is opaque.
write("hand-16-noattr.tga", header(0, 2, 0, 0, 0, 16, 0x00) +
      rows_bottom_up(lambda x, r: struct.pack("<H", word555(colour(x, r), False))))
write("hand-15.tga", header(0, 2, 0, 0, 0, 15, 0x00) +
      rows_bottom_up(lambda x, r: struct.pack("<H", word555(colour(x, r), False))))
for name in ["hand-16.tga", "hand-16rle.tga", "hand-16-noattr.tga"]:
    check_hand(name, colour)
check_im("hand-15.tga", colour)

# Colour maps with 16-bit entries whose first entry stands for index 10, and 32-bit ones.
map16 = b"".join(struct.pack("<H", word555(c, True)) for c in PAL16)
write("hand-8map16-first10.tga", header(1, 1, 10, 16, 16, 8, 0x20) + map16 +
      b"".join(bytes([10 + pindex(x, r)]) for r in range(H) for x in range(W)))
check_hand("hand-8map16-first10.tga", lambda x, r: PAL16[pindex(x, r)])
map32 = b"".join(bytes([c[2], c[1], c[0], 255]) for c in PAL16)
write("hand-8map32.tga", header(1, 9, 0, 16, 32, 8, 0x00) + map32 +
      b"".join(b"\x00" + bytes([pindex(x, r)]) for r in reversed(range(H)) for x in range(W)))
check_im("hand-8map32.tga", lambda x, r: PAL16[pindex(x, r)])

# Run-length packets that run on from one row into the next (allowed by older writers):
# repeat packets of 3, 12, 1 and 19 pixels over the 35 pixels, top row first.
RUNS = [(0, 3, (200, 10, 10)), (3, 12, (10, 200, 10)), (15, 1, (10, 10, 200)),
        (16, 19, (250, 250, 0))]
def runs_colour(x, r):
    i = r * W + x
    return next(c for start, n, c in RUNS if start <= i < start + n)
data = b"".join(bytes([0x80 | (n - 1), c[2], c[1], c[0]]) for start, n, c in RUNS)
write("hand-rle-wrap.tga", header(0, 10, 0, 0, 0, 24, 0x20) + data)
check_im("hand-rle-wrap.tga", runs_colour)

# --- BEGIN grey with alpha ---
# 16-bit grey: a grey byte then an alpha byte per pixel (8 attribute bits), raw and run-length
# (a raw packet of four pixels and three one-pixel repeat packets per row), from the bottom-left
# and the top-left origin.
def grey_alpha(x, r):
    return bytes([grey(x, r), alpha(x, r)])

def grey_alpha_rows(top_first):
    rows = range(H) if top_first else reversed(range(H))
    return [b"".join(grey_alpha(x, r) for x in range(W)) for r in rows]

def grey_alpha_rle(row):
    return (b"\x03" + row[:8] + b"".join(b"\x80" + row[2 * x:2 * x + 2] for x in range(4, W)))

for origin, descriptor in [("bl", 0x08), ("tl", 0x28)]:
    rows = grey_alpha_rows(origin == "tl")
    write("hand-16grey-%s.tga" % origin, header(0, 3, 0, 0, 0, 16, descriptor) + b"".join(rows))
    write("hand-16grey-rle-%s.tga" % origin,
          header(0, 11, 0, 0, 0, 16, descriptor) + b"".join(grey_alpha_rle(row) for row in rows))

def check_grey_alpha(name):
    # Pillow reads grey with alpha (ImageMagick 6 takes it for 5-5-5 colour).
    got = Image.open(name).convert("LA")
    for r in range(H):
        for x in range(W):
            assert got.getpixel((x, r)) == (grey(x, r), alpha(x, r)), (name, x, r)

for origin in ["bl", "tl"]:
    check_grey_alpha("hand-16grey-%s.tga" % origin)
    check_grey_alpha("hand-16grey-rle-%s.tga" % origin)
# --- END grey with alpha ---

# --- tiny corrupt files: each must fail with its message or load cleanly ---
write("bad-short-header.tga", header(0, 2, 0, 0, 0, 24, 0)[:11])
write("bad-type.tga", header(0, 5, 0, 0, 0, 24, 0) + bytes(W * H * 3))
write("bad-depth.tga", header(0, 2, 0, 0, 0, 12, 0) + bytes(W * H * 2))
write("bad-truncated.tga", header(0, 2, 0, 0, 0, 24, 0) + bytes(W * H * 3 - 5))
write("bad-huge.tga", header(0, 10, 0, 0, 0, 32, 0, 65535, 65535) + b"\xff\x01\x02\x03\x04")
write("bad-zero-width.tga", header(0, 2, 0, 0, 0, 24, 0, 0, 5))
write("bad-map-entry-size.tga", header(1, 1, 0, 2, 8, 8, 0) + bytes(2 + W * H))
# A repeat packet of 128 pixels at the end of a 35-pixel picture: the surplus is dropped.
write("bad-rle-overrun.tga", header(0, 10, 0, 0, 0, 24, 0) + b"\xff\x01\x02\x03")
# A map whose first entry 250 pushes 10 of its 16 entries past index 255.
write("bad-map-first.tga", header(1, 1, 250, 16, 24, 8, 0) + bytes(range(48)) +
      bytes([250 + (i % 6) for i in range(W * H)]))
# A raw packet that stops in the middle of a pixel.
write("bad-rle-cut.tga", header(0, 10, 0, 0, 0, 24, 0) + b"\x05\x01\x02\x03\x04")
