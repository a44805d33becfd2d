#!/usr/bin/python3
# Makes the BMP fixtures once (they are committed; the tests never run this): small synthetic
# pictures written by ImageMagick, plus the expected pixels as binary PPM files.
# A few variants ImageMagick cannot write (4-bit run-length, top-down rows, 16 bits without
# masks, a bare bitmap) are built from its output or assembled from the format's definition
# here, and every file is checked against its expected picture with Pillow's decoder.
import os
import struct
import subprocess

from PIL import BmpImagePlugin, Image

CONVERT = "/usr/bin/convert"
HERE = os.path.dirname(os.path.abspath(__file__))


def picture(width, height, colour):
    im = Image.new("RGB", (width, height))
    px = im.load()
    for y in range(height):
        for x in range(width):
            px[x, y] = colour(x, y)
    return im


def wide(level, bits):
    # The smallest 8-bit value that ImageMagick's 16-bit writer (which truncates
    # v * (2^bits - 1) / 255) stores as this level.
    top = (1 << bits) - 1
    return -(-level * 255 // top)


def level(value, bits):
    return value * ((1 << bits) - 1) // 255


TWO = [(200, 30, 40), (20, 60, 220)]
SIXTEEN = [(i * 16, 255 - i * 8, (i * 40) % 256) for i in range(16)]
MANY = [((i * 37) % 256, (i * 91 + 17) % 256, (i * 13 + 200) % 256) for i in range(100)]

# Rows (top first) whose 4-bit run-length coding has encoded and absolute runs starting at odd
# and even columns, of odd and even lengths, and a delta past the first pixel.
RLE4_ROWS = [
    [1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 5, 6, 5],
    [7, 8, 9, 8, 9, 8, 10, 11, 12, 13, 13, 13, 13],
    [0, 4, 5, 6, 7, 7, 7, 7, 7, 7, 3, 2, 1],
    [9, 1, 2, 3, 4, 5, 6, 6, 6, 6, 6, 14, 15],
    [12, 12, 12, 12, 12, 1, 2, 3, 4, 5, 6, 7, 9],
    [3, 4, 3, 4, 3, 4, 3, 10, 11, 12, 0, 0, 0],
    [5, 6, 6, 6, 6, 6, 6, 6, 6, 1, 2, 3, 4],
]

pictures = {
    "pal16rle": picture(13, 7, lambda x, y: SIXTEEN[RLE4_ROWS[y][x]]),
    # Odd sizes, no symmetry; stripes give run-length encoders runs to find.
    "pal2": picture(13, 7, lambda x, y: TWO[1 if (x * 3 + y) % 5 < 2 else 0]),
    "pal16": picture(13, 7, lambda x, y: SIXTEEN[(x // 3 + y * 5) % 16 if y % 3 else
                                                 (x + y) % 16]),
    "pal256": picture(37, 11, lambda x, y: MANY[(x // 4 * 7 + y * 3) % 100 if y % 2 else
                                                (x * 11 + y) % 100]),
    "rgb": picture(13, 7, lambda x, y: ((x * 19 + y * 7) % 256, (x * y * 5 + 3) % 256,
                                        (255 - x * 11 - y * 13) % 256)),
    # 5-bit (6-bit green) levels as 8-bit values that map back to the same levels.
    "c555": picture(13, 7, lambda x, y: (wide((x * 3) % 32, 5), wide((y * 5 + x) % 32, 5),
                                         wide((31 - x - y * 2) % 32, 5))),
    "c565": picture(13, 7, lambda x, y: (wide((x * 3) % 32, 5), wide((y * 9 + x) % 64, 6),
                                         wide((31 - x - y * 2) % 32, 5))),
}


def path(name):
    return os.path.join(HERE, name)


def convert(source, target, *options):
    src = path(source + ".ppm")
    # ImageMagick run-length codes 8-bit files unless told otherwise.
    if "-compress" not in options:
        options = (*options, "-compress", "None")
    subprocess.run([CONVERT, src, *options, target], check=True)


def le32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def derive_top_down(source, target):
    # Same file with its rows in the other order and a negative height.
    data = open(path(source), "rb").read()
    offset = le32(data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    stride = (width * bits + 31) // 32 * 4
    rows = [data[offset + i * stride: offset + (i + 1) * stride] for i in range(height)]
    out = bytearray(data[:offset]) + b"".join(reversed(rows))
    struct.pack_into("<i", out, 22, -height)
    open(path(target), "wb").write(out)


def derive_bare(source, target):
    # The packed bitmap alone: the information header first, no file header.
    data = open(path(source), "rb").read()
    open(path(target), "wb").write(data[14:])


def derive_16_from_v5(source, masked_target, plain_target):
    # ImageMagick writes masks only with its version 5 header (its 40-byte 16-bit files claim
    # masks but have none). From the version 5 file: a 40-byte header followed by the three
    # masks, and a 40-byte header with compression 0 and no masks (5-5-5 by definition).
    data = open(path(source), "rb").read()
    assert le32(data, 14) == 124 and le32(data, 30) == 3
    masks = data[54:66]
    assert struct.unpack("<III", masks) == (0x7C00, 0x03E0, 0x001F)
    pixels = data[le32(data, 10):]
    for target, compression, extra in [(masked_target, 3, masks), (plain_target, 0, b"")]:
        info = bytearray(data[14:54])
        struct.pack_into("<I", info, 0, 40)
        struct.pack_into("<I", info, 16, compression)
        offset = 14 + 40 + len(extra)
        head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
        open(path(target), "wb").write(head + info + extra + pixels)


def rle4_row(indices):
    # Alternating-pair runs of 4 or more become encoded runs; stretches of 3 or more other
    # pixels become absolute runs; shorter ones encoded runs of 1 or 2.
    out = bytearray()
    x, n = 0, len(indices)
    if indices[0] == 0:
        out += bytes([0, 2, 1, 0])  # a delta over the first pixel, which stays index 0
        x = 1

    def run_length(at):
        k = 1
        while at + k < n and k < 255 and indices[at + k] == indices[at + (k & 1)]:
            k += 1
        return k

    while x < n:
        k = run_length(x)
        if k >= 4:
            second = indices[x + 1] if k > 1 else 0
            out += bytes([k, indices[x] << 4 | second])
            x += k
            continue
        start = x
        while x < n and run_length(x) < 4 and x - start < 255:
            x += 1
        literal = indices[start:x]
        if len(literal) >= 3:
            packed = bytearray()
            for i in range(0, len(literal), 2):
                hi = literal[i]
                lo = literal[i + 1] if i + 1 < len(literal) else 0
                packed.append(hi << 4 | lo)
            if len(packed) % 2:
                packed.append(0)
            out += bytes([0, len(literal)]) + packed
        else:
            for i in range(0, len(literal), 2):
                pair = literal[i:i + 2]
                out += bytes([len(pair), pair[0] << 4 | (pair[1] if len(pair) > 1 else 0)])
    return out


def make_rle4(name, target):
    im = Image.open(path(name + ".ppm"))
    width, height = im.size
    px = im.load()
    palette = SIXTEEN
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom row first
        row = [palette.index(px[x, y]) for x in range(width)]
        data += rle4_row(row) + b"\x00\x00"
    data[-2:] = b"\x00\x01"  # the last end of line becomes the end of the bitmap
    table = b"".join(bytes([b, g, r, 0]) for (r, g, b) in palette)
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 2, len(data), 2835, 2835, 16, 0)
    head = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    open(path(target), "wb").write(head + info + table + data)


def check_with_imagemagick(fixture, expected):
    ppm = subprocess.run([CONVERT, path(fixture), "-depth", "8", "ppm:-"], check=True,
                         capture_output=True).stdout
    want = open(path(expected + ".ppm"), "rb").read()
    assert ppm.split(b"\n", 3)[3] == want.split(b"\n", 3)[3], fixture


def check(fixture, expected, bare=False):
    # 16-bit files: the expected values are the stored levels shifted up (what this reader
    # gives); Pillow scales them to 0..255 instead, so levels are compared.
    bits = (5, 6 if "565" in fixture else 5, 5) if "bmp16" in fixture else (8, 8, 8)
    if bare:
        with open(path(fixture), "rb") as f:
            im = BmpImagePlugin.DibImageFile(f)
            im.load()
    else:
        im = Image.open(path(fixture))
    got = im.convert("RGB")
    want = Image.open(path(expected + ("-expected" if "bmp16" in fixture else "") + ".ppm"))
    assert got.size == want.size, fixture
    levels = [tuple(round(v * ((1 << b) - 1) / 255) for v, b in zip(p, bits)) for p in got.getdata()]
    wanted = [tuple(v >> (8 - b) for v, b in zip(p, bits)) for p in want.getdata()]
    assert levels == wanted, fixture


for name, im in pictures.items():
    im.save(path(name + ".ppm"))
# What a 16-bit file decodes to here: each level shifted up, the low bits zero.
for name, green in [("c555", 5), ("c565", 6)]:
    r, g, b = pictures[name].split()
    Image.merge("RGB", (r.point(lambda v: level(v, 5) << 3),
                        g.point(lambda v: level(v, green) << (8 - green)),
                        b.point(lambda v: level(v, 5) << 3))).save(path(name + "-expected.ppm"))

fixtures = [
    ("bmp1.bmp", "pal2", ["-type", "Palette"], "BMP3"),
    ("bmp4.bmp", "pal16", ["-type", "Palette"], "BMP3"),
    ("bmp8.bmp", "pal256", ["-type", "Palette"], "BMP3"),
    ("bmp8-rle.bmp", "pal256", ["-type", "Palette", "-compress", "RLE"], "BMP3"),
    ("bmp16-555-v5.bmp", "c555", ["-define", "bmp:subtype=RGB555"], "BMP"),
    ("bmp16-565-v5.bmp", "c565", ["-define", "bmp:subtype=RGB565"], "BMP"),
    ("bmp24.bmp", "rgb", [], "BMP3"),
    ("bmp32-v5.bmp", "rgb", ["-alpha", "set", "-channel", "A", "-fx", "(i+j)/20", "+channel"],
     "BMP"),
    ("os2-1.bmp", "pal2", ["-type", "Palette"], "BMP2"),
    ("os2-8.bmp", "pal256", ["-type", "Palette"], "BMP2"),
    ("os2-24.bmp", "rgb", [], "BMP2"),
    ("v4-24.bmp", "rgb", ["-set", "colorspace", "RGB"], "BMP"),
    ("v5-4.bmp", "pal16", ["-type", "Palette"], "BMP"),
    ("v5-8.bmp", "pal256", ["-type", "Palette"], "BMP"),
]
for target, source, options, kind in fixtures:
    convert(source, kind + ":" + path(target), *options)
    check(target, source)

derive_top_down("bmp24.bmp", "top-down-24.bmp")
derive_top_down("bmp8.bmp", "top-down-8.bmp")
derive_16_from_v5("bmp16-555-v5.bmp", "bmp16-555-masks.bmp", "bmp16-555.bmp")
derive_bare("bmp8.bmp", "bare-8.dib")
derive_bare("bmp4.bmp", "bare-4.dib")
make_rle4("pal16rle", "bmp4-rle.bmp")
# Pillow 9.4 misreads odd-length absolute runs in 4-bit files; ImageMagick checks this one.
check_with_imagemagick("bmp4-rle.bmp", "pal16rle")
for target, source in [("top-down-24.bmp", "rgb"), ("top-down-8.bmp", "pal256"),
                       ("bmp16-555.bmp", "c555"), ("bmp16-555-masks.bmp", "c555")]:
    check(target, source)
check("bare-8.dib", "pal256", bare=True)
check("bare-4.dib", "pal16", bare=True)

print("BMP fixtures written and checked")


# Corrupt files: each must fail or load without touching memory outside the image.
def bmp(width, height, bits, compression=0, table=b"", pixels=b"", colours=0, header_size=40,
        offset=None, masks=b""):
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression,
                       len(pixels), 2835, 2835, colours, 0)
    if offset is None:
        offset = 14 + 40 + len(masks) + len(table)
    head = b"BM" + struct.pack("<IHHI", 14 + 40 + len(masks) + len(table) + len(pixels), 0, 0,
                               offset)
    return head + info + masks + table + pixels


grey = b"".join(bytes([i, i, i, 0]) for i in range(256))
grey16 = grey[:64]
bad = {
    "bad-height-min.bmp": bmp(4, -2**31, 24, pixels=b"\0" * 16),
    "bad-zero-width.bmp": bmp(0, 5, 8, table=grey),
    "bad-zero-height.bmp": bmp(5, 0, 24),
    "bad-huge.bmp": bmp(60000, 60000, 24, pixels=b"\1" * 64),
    "bad-huge-top-down.bmp": bmp(4000, -3000, 8, table=grey, pixels=b"\2" * 64),
    # Runs past the row end, absolute runs past it, deltas above the picture, and then more.
    "bad-rle8-overrun.bmp": bmp(3, 2, 8, 1, grey, bytes([200, 7, 0, 0, 0, 9]) + bytes(range(10)) +
                                bytes([0, 2, 250, 250, 255, 1, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0,
                                       0, 0, 9, 9])),
    "bad-rle4-overrun.bmp": bmp(3, 2, 4, 2, grey16, bytes([200, 0x12, 0, 0, 0, 9]) +
                                bytes(range(6)) + bytes([0, 2, 255, 0, 255, 0x34, 0, 2, 1,
                                                         250, 0, 7, 1, 2, 3, 4])),
    "bad-rle8-truncated.bmp": bmp(8, 8, 8, 1, grey, bytes([3, 1, 0, 0, 0, 200, 1, 2, 3])),
    "bad-rle-on-1-bit.bmp": bmp(5, 3, 1, 1, grey[:8], bytes([40, 0xFF, 0, 0, 0, 30]) +
                                bytes(30)),
    "bad-colours-used.bmp": bmp(2, 2, 8, table=grey, pixels=b"\3" * 8, colours=0xFFFFFFFF),
    "bad-header-size.bmp": bmp(2, 2, 8, table=grey, pixels=b"\4" * 8, header_size=0xFFFFFFF0),
    "bad-pixel-offset.bmp": bmp(2, 2, 24, pixels=b"\5" * 16, offset=0xFFFFFFF0),
    "bad-masks.bmp": bmp(3, 2, 16, 3, masks=struct.pack("<III", 0, 0xFFFFFFFF, 0x80000001),
                         pixels=bytes(range(16))),
    "bad-bits-64.bmp": bmp(3, 2, 64, pixels=bytes(range(48))),
    "bad-bits-0.bmp": bmp(3, 2, 0, pixels=bytes(range(8))),
    "bad-truncated-32.bmp": bmp(100, 100, 32, 3, pixels=bytes(range(250))),
}
for name, data in bad.items():
    open(path(name), "wb").write(data)
open(path("bad-header-only.bmp"), "wb").write(bmp(2, 2, 24)[:30])
