#!/usr/bin/python3
# Makes the icon test files once from small synthetic pictures, with ImageMagick's convert
# (masked 4- and 8-bit icons, 32-bit ones), Pillow (bitmap icons of 1 to 32 bits, 256-pixel
# sides, PNG entries) and hand-written bytes for corrupt files. Run from this folder.
import os
import struct
import subprocess
import tempfile

from PIL import Image

W, H = 7, 5

# The pictures, by column x and row r counted from the top (ico_test.cpp rebuilds them).
def colour(x, r):
    return (8 * (4 * x + 1), 8 * (6 * r + 2), 8 * ((3 * x + 5 * r) % 32))

PAL16 = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
         (0, 255, 255), (255, 0, 255), (128, 0, 0), (0, 128, 0), (0, 0, 128), (128, 128, 0),
         (0, 128, 128), (128, 0, 128), (192, 192, 192), (64, 32, 16)]

def pindex(x, r, colours):
    return (x + 3 * r) % colours

def masked(x, r):
    return (x + r) % 3 == 0

def alpha(x, r):
    return 255 - (30 * x + 7 * r)

def white(x, r):
    return (x * x + 2 * r) % 3 == 0

def big(x, r):
    return (x % 256, (7 * r) % 256, (x + 3 * r) % 256)

def bigp(x, r):
    # At most 256 colours, for the 8-bit icon with a side of 256.
    i = (x + r) % 256
    return (i, (2 * i) % 256, 255 - i)

def picture(kind, w=W, h=H):
    im = Image.new("RGBA", (w, h))
    for r in range(h):
        for x in range(w):
            if kind == "colour":
                c = colour(x, r) + (255,)
            elif kind == "alpha":
                c = colour(x, r) + (alpha(x, r),)
            elif kind.startswith("masked"):
                c = PAL16[pindex(x, r, int(kind[6:]))] + (0 if masked(x, r) else 255,)
            elif kind.startswith("palette"):
                c = PAL16[pindex(x, r, int(kind[7:]))] + (255,)
            elif kind == "bilevel":
                c = (255, 255, 255, 255) if white(x, r) else (0, 0, 0, 255)
            elif kind == "bigp":
                c = bigp(x, r) + (255,)
            else:
                c = big(x, r) + (255,)
            im.putpixel((x, r), c)
    return im

def check(name, kind, w=W, h=H, with_alpha=True):
    # Pillow, an independent decoder, must see the intended picture: every alpha value, and
    # the colour of every pixel that is not fully transparent. Pillow writes the AND mask of
    # its own 1- to 24-bit icons one byte per row instead of four and then reads garbage
    # from it, so only their colours are compared (the mask it means is all opaque).
    got = Image.open(name).convert("RGBA")
    assert got.size == (w, h), name
    want = picture(kind, w, h)
    for r in range(h):
        for x in range(w):
            g, e = got.getpixel((x, r)), want.getpixel((x, r))
            if not with_alpha:
                g, e = g[:3] + (255,), e[:3] + (255,)
            assert g[3] == e[3] and (e[3] == 0 or g[:3] == e[:3]), (name, x, r, g, e)

tmp = tempfile.mkdtemp()

def im_file(name, kind, *args, bits=None):
    src = os.path.join(tmp, kind + ".png")
    picture(kind).save(src)
    subprocess.run(["convert", src, *args, name], check=True)
    check(name, kind)
    if bits:
        assert struct.unpack_from("<H", open(name, "rb").read(), 22 + 14)[0] == bits, name

im_file("im-4mask.ico", "masked10", "-type", "PaletteAlpha", bits=4)
im_file("im-8mask.ico", "masked16", "-type", "PaletteAlpha", bits=8)
im_file("im-32.ico", "alpha", bits=32)

def pil_file(name, kind, mode, w=W, h=H, bits=None):
    im = picture(kind, w, h)
    if mode == "P":
        # Built index by index, so that no quantizer changes a colour.
        rgb = im.convert("RGB")
        colours = sorted(set(rgb.getdata()))
        im = Image.new("P", (w, h))
        im.putpalette([v for c in colours for v in c])
        im.putdata([colours.index(c) for c in rgb.getdata()])
    else:
        im = im.convert(mode, dither=Image.Dither.NONE)
    im.save(name, bitmap_format="bmp", sizes=[(w, h)])
    check(name, kind, w, h, with_alpha=mode == "RGBA")
    if bits:
        assert struct.unpack_from("<H", open(name, "rb").read(), 22 + 14)[0] == bits, name

pil_file("pil-1.ico", "bilevel", "1", bits=1)
pil_file("pil-8.ico", "palette16", "P", bits=8)
pil_file("pil-24.ico", "colour", "RGB", bits=24)
pil_file("pil-32.ico", "alpha", "RGBA", bits=32)
# Sides of 256 pixels, which the directory writes as 0.
pil_file("pil-256x2-24.ico", "big", "RGB", 256, 2, bits=24)
pil_file("pil-3x256-8.ico", "bigp", "P", 3, 256, bits=8)

# Two images: the colour picture as a 24-bit bitmap, then a 2 x 2 one as PNG.
second = os.path.join(tmp, "second.ico")
picture("colour", 2, 2).save(second, sizes=[(2, 2)])
first = os.path.join(tmp, "first.ico")
picture("colour").convert("RGB").save(first, bitmap_format="bmp", sizes=[(W, H)])
a, b = open(first, "rb").read(), open(second, "rb").read()
img_a, img_b = a[22:], b[22:]
entry_a = bytearray(a[6:22])
entry_b = bytearray(b[6:22])
struct.pack_into("<I", entry_a, 12, 6 + 32)
struct.pack_into("<I", entry_b, 12, 6 + 32 + len(img_a))
with open("two-images.ico", "wb") as f:
    f.write(struct.pack("<HHH", 0, 1, 2) + entry_a + entry_b + img_a + img_b)
check("two-images.ico", "colour", with_alpha=False)

# A bitmap-less icon: the image is a PNG stream.
picture("colour").save("png-entry.ico", sizes=[(W, H)])

# --- tiny corrupt files: each must fail (with its message where it has one) or load ---
def icon(entry_w, entry_h, bits, body, count=1, offset=22, width=None, height=None,
         header_bits=None, colours_used=0, header_size=40, compression=0):
    width = entry_w if width is None else width
    height = 2 * entry_h if height is None else height
    bih = struct.pack("<IiiHHIIiiII", header_size, width, height, 1,
                      bits if header_bits is None else header_bits, compression, 0, 0, 0,
                      colours_used, 0)
    entry = struct.pack("<BBBBHHII", entry_w & 255, entry_h & 255, 0, 0, 1, bits,
                        len(bih) + len(body), offset)
    return struct.pack("<HHH", 0, 1, count) + entry + bih + body

def write(name, data):
    with open(name, "wb") as f:
        f.write(data)

pal2 = bytes([0, 0, 0, 0, 255, 255, 255, 0])
one_bit_2x2 = pal2 + bytes([0x40, 0, 0, 0, 0x80, 0, 0, 0]) + bytes(8)
# Type 2 is a cursor; 3 is no resource type at all.
write("bad-type.ico", struct.pack("<HHH", 0, 3, 1) + icon(2, 2, 1, one_bit_2x2)[6:])
write("bad-short-header.ico", b"\0\0\1")
write("bad-missing-entry.ico", struct.pack("<HHH", 0, 1, 1) + b"\x02\x02\x00")
write("bad-no-images.ico", struct.pack("<HHH", 0, 1, 0))
write("bad-offset.ico", icon(2, 2, 1, one_bit_2x2, offset=100000))
write("bad-info-short.ico", icon(2, 2, 1, b"")[:22 + 20])
write("bad-bits.ico", icon(2, 2, 1, one_bit_2x2, header_bits=7))
write("bad-compression.ico", icon(2, 2, 1, one_bit_2x2, compression=1))
write("bad-huge.ico", icon(0, 0, 24, bytes(16), width=100000, height=200000))
write("bad-negative-height.ico", icon(2, 2, 1, one_bit_2x2, height=-4))
write("bad-colours-used.ico", icon(2, 2, 8, bytes(64), colours_used=0xFFFFFFFF))
write("bad-header-size.ico", icon(2, 2, 1, one_bit_2x2, header_size=0x7FFFFFFF))
write("bad-truncated-pixels.ico", icon(2, 2, 24, bytes(8 + 4)))
# The mask is cut off: the icon loads, opaque.
write("bad-no-mask.ico", icon(2, 2, 1, pal2 + bytes([0x40, 0, 0, 0, 0x80, 0, 0, 0])))

# --- BEGIN cursor ---
# A cursor by hand: resource type 2, and an entry whose planes and bit count fields hold the
# hotspot (3, 2). The 4-bit picture and its mask are the masked16 ones of the icons above.
def cursor_file():
    pixels = b""
    for r in reversed(range(H)):  # bottom-up rows of 4 bytes
        row = [(x + 3 * r) % 16 for x in range(W)] + [0]
        pixels += bytes((row[i] << 4) | row[i + 1] for i in range(0, W + 1, 2))
    mask = b""
    for r in reversed(range(H)):
        bits = sum(0x80 >> x for x in range(W) if (x + r) % 3 == 0)
        mask += bytes([bits, 0, 0, 0])
    table = b"".join(bytes([b, g, r, 0]) for (r, g, b) in PAL16)
    bih = struct.pack("<IiiHHIIiiII", 40, W, 2 * H, 1, 4, 0, 0, 0, 0, 0, 0)
    body = bih + table + pixels + mask
    entry = struct.pack("<BBBBHHII", W, H, 16, 0, 3, 2, len(body), 22)
    return struct.pack("<HHH", 0, 2, 1) + entry + body

write("hand-cursor-4mask.cur", cursor_file())
# --- END cursor ---
