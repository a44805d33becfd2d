#!/usr/bin/python3
# Makes the GIF fixtures once (they are committed; the tests never run this): small synthetic
# pictures written by ImageMagick and Pillow, with the expected pixels as binary PPM files.
# Every file is read back with Pillow and checked against its expected picture.
import os
import struct
import subprocess

from PIL import Image

CONVERT = "/usr/bin/convert"
HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


def paletted(width, height, palette, index):
    im = Image.new("P", (width, height))
    im.putpalette([c for rgb in palette for c in rgb])
    px = im.load()
    for y in range(height):
        for x in range(width):
            px[x, y] = index(x, y)
    return im


SIXTEEN = [(i * 16, 255 - i * 8, (i * 40) % 256) for i in range(16)]
FORTY = [((i * 53) % 256, (i * 29 + 7) % 256, (250 - i * 6) % 256) for i in range(40)]
OTHER = [(250 - i * 15, (i * 70) % 256, 128 + i * 7) for i in range(16)]


# The large picture: noise that LZW cannot compress, so the code table fills and resets.
# The test recomputes it from the same formulas.
def large_index(x, y):
    return ((x * x * 31 + y * y * 17 + x * y * 7 + x * 3) ^ (y * 59)) & 255


def large_colour(i):
    return (i, (i * 97) & 255, (255 - i * 3) & 255)


pictures = {
    "pal16": paletted(13, 7, SIXTEEN, lambda x, y: (x // 3 + y * 5 + x * y) % 16),
    "other16": paletted(13, 7, OTHER, lambda x, y: (x * 7 + y) % 16),
    # 19 rows: the interlace passes end at different places.
    "tall40": paletted(11, 19, FORTY, lambda x, y: (x * 3 + y * 7) % 40),
    "large": paletted(128, 96, [large_colour(i) for i in range(256)], large_index),
}


def save_ppm(name):
    pictures[name].convert("RGB").save(path(name + ".ppm"))


def check(fixture, expected, frame=0):
    im = Image.open(path(fixture))
    im.seek(frame)
    got = list(im.convert("RGB").getdata())
    want = list(pictures[expected].convert("RGB").getdata())
    assert got == want, fixture


def gif_blocks(data):
    # Yields (kind, offset) for each block after the header and global table.
    packed = data[10]
    pos = 13 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0)
    while pos < len(data):
        b = data[pos]
        if b == 0x21:
            yield "extension", pos
            pos += 2
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif b == 0x2C:
            yield "image", pos
            packed = data[pos + 9]
            pos += 10 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0)
            pos += 1
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
        else:
            return


def clear_codes(fixture):
    # Counts the clear codes of the first image's data (the first one included).
    data = open(path(fixture), "rb").read()
    start = next(offset for kind, offset in gif_blocks(data) if kind == "image")
    packed = data[start + 9]
    pos = start + 10 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0)
    m = data[pos]
    pos += 1
    stream = bytearray()
    while data[pos]:
        stream += data[pos + 1: pos + 1 + data[pos]]
        pos += data[pos] + 1
    clear, end = 1 << m, (1 << m) + 1
    width, slot, first, bit, clears = m + 1, clear + 2, True, 0, 0
    while bit + width <= len(stream) * 8:
        code = (int.from_bytes(stream[bit // 8: bit // 8 + 3], "little") >> (bit % 8)) & \
            ((1 << width) - 1)
        bit += width
        if code == clear:
            clears += 1
            width, slot, first = m + 1, clear + 2, True
            continue
        if code == end:
            break
        if not first and slot < 4096:
            slot += 1
            if slot == 1 << width and width < 12:
                width += 1
        first = False
    return clears


for name in pictures:
    save_ppm(name)

# Pillow writes GIF87a when nothing needs an extension.
pictures["pal16"].save(path("gif87a.gif"), interlace=False)
assert open(path("gif87a.gif"), "rb").read(6) == b"GIF87a"
check("gif87a.gif", "pal16")

subprocess.run([CONVERT, path("pal16.ppm"), path("gif89a.gif")], check=True)
assert open(path("gif89a.gif"), "rb").read(6) == b"GIF89a"
check("gif89a.gif", "pal16")

subprocess.run([CONVERT, path("tall40.ppm"), "-interlace", "GIF", path("interlaced.gif")],
               check=True)
data = open(path("interlaced.gif"), "rb").read()
image = next(offset for kind, offset in gif_blocks(data) if kind == "image")
assert data[image + 9] & 0x40, "not interlaced"
check("interlaced.gif", "tall40")

# Transparency: colour 5 of the 16 is the transparent one.
subprocess.run([CONVERT, path("pal16.ppm"), "-transparent", "rgb(80,215,200)",
                path("transparent.gif")], check=True)
assert SIXTEEN[5] == (80, 215, 200)
data = open(path("transparent.gif"), "rb").read()
assert b"\x21\xf9\x04" in data and data[data.index(b"\x21\xf9\x04") + 3] & 1
im = Image.open(path("transparent.gif"))
see_through = im.info["transparency"]
want = list(pictures["pal16"].convert("RGB").getdata())
for index, rgb, wanted in zip(im.getdata(), im.convert("RGB").getdata(), want):
    assert (index == see_through) == (wanted == SIXTEEN[5])
    assert index == see_through or rgb == wanted

# Two images; the second has its own (local) table, the first uses the global one.
subprocess.run([CONVERT, path("pal16.ppm"), path("other16.ppm"), "+repage",
                path("two-tables.gif")], check=True)
data = open(path("two-tables.gif"), "rb").read()
images = [offset for kind, offset in gif_blocks(data) if kind == "image"]
assert len(images) == 2 and not data[images[0] + 9] & 0x80 and data[images[1] + 9] & 0x80
check("two-tables.gif", "pal16", 0)
check("two-tables.gif", "other16", 1)

# A first image with a local table and no global one: gif87a.gif with its table moved.
data = bytearray(open(path("gif87a.gif"), "rb").read())
packed = data[10]
assert packed & 0x80
size = packed & 7
table = data[13:13 + 3 * (2 << size)]
rest = data[13 + len(table):]
out = data[:13] + rest
out[10] = packed & 0x70
image = out.index(b"\x2c", 13)
out[image + 9] |= 0x80 | size
out[image + 10:image + 10] = table
open(path("local-table.gif"), "wb").write(out)
check("local-table.gif", "pal16")

# Large enough for the code table to fill and start again, from both encoders.
pictures["large"].save(path("large-pillow.gif"), interlace=False)
subprocess.run([CONVERT, path("large.ppm"), path("large-imagemagick.gif")], check=True)
os.remove(path("large.ppm"))
for fixture in ["large-pillow.gif", "large-imagemagick.gif"]:
    check(fixture, "large")
    assert clear_codes(fixture) >= 3, fixture

print("GIF fixtures written and checked")


# Corrupt files: each must fail or load without touching memory outside the image.
def pack(code_size, codes):
    acc, bits, out = 0, 0, bytearray()
    for code, width in codes:
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 255)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc)
    data = bytearray([code_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        data += bytes([len(chunk)]) + chunk
    return data + b"\0"


def gif(width, height, data, packed=0x80, image_packed=0, table_bits=2, extra=b"",
        signature=b"GIF89a"):
    table = bytes(i & 255 for i in range(3 * (2 << (table_bits - 1)))) if packed & 0x80 else b""
    screen = signature + struct.pack("<HHBBB", width, height, packed | (table_bits - 1), 0, 0)
    descriptor = b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, image_packed)
    return screen + table + extra + descriptor + data + b"\x3b"


noise = bytes((i * 131 + (i >> 3) * 7) & 255 for i in range(3000))
noise_blocks = b"".join(bytes([255]) + noise[i:i + 255] for i in range(0, 2805, 255))
bad = {
    "bad-not-gif.gif": b"GIF7" + bytes(20),
    "bad-short-header.gif": b"GIF89a\x01\x00",
    "bad-huge.gif": gif(65535, 65535, pack(2, [(4, 3), (1, 3), (5, 3)])),
    "bad-zero-size.gif": gif(0, 0, pack(2, [(4, 3), (1, 3), (5, 3)])),
    "bad-code-size.gif": gif(4, 4, b"\x0c\x02\xff\xff\x00"),
    "bad-code-size-zero.gif": gif(4, 4, b"\x00\x02\xff\xff\x00"),
    "bad-sub-block-past-end.gif": gif(4, 4, b"\x02\xc8\x44\x01")[:-1],
    # A string that names itself as its own prefix.
    "bad-self-loop.gif": gif(8, 8, pack(2, [(4, 3), (0, 3), (7, 3), (6, 3), (7, 4), (7, 4),
                                            (5, 4)])),
    "bad-noise-codes.gif": gif(50, 50, b"\x08" + noise_blocks + b"\0", table_bits=8),
    "bad-noise-interlaced.gif": gif(3, 1, b"\x08" + noise_blocks + b"\0", image_packed=0x40,
                                    table_bits=8),
    "bad-noise-one-bit.gif": gif(33, 3, b"\x02" + noise_blocks + b"\0", table_bits=1),
    "bad-noise-four-bit.gif": gif(7, 9, b"\x04" + noise_blocks + b"\0", image_packed=0x40,
                                  table_bits=4),
    "bad-extension-truncated.gif": b"GIF89a\x02\x00\x02\x00\x80\x00\x00" + bytes(6) +
    b"\x21\xf9\x04\x01",
    "bad-comment-truncated.gif": b"GIF89a\x02\x00\x02\x00\x80\x00\x00" + bytes(6) +
    b"\x21\xfe\xff\x41\x42",
    "bad-local-table-truncated.gif": b"GIF89a\x02\x00\x02\x00\x00\x00\x00\x2c" +
    struct.pack("<HHHHB", 0, 0, 2, 2, 0x87) + bytes(20),
    "bad-descriptor-truncated.gif": b"GIF89a\x02\x00\x02\x00\x00\x00\x00\x2c\x00\x00",
    "bad-many-images.gif": b"GIF89a\x02\x00\x02\x00\x00\x00\x00" +
    (b"\x2c" + struct.pack("<HHHHB", 0, 0, 2, 2, 0) + b"\x02\x00") * 500 + b"\x3b",
    "bad-no-table.gif": gif(3, 3, pack(2, [(4, 3), (3, 3), (3, 3), (5, 3)]), packed=0),
}
for name, data in bad.items():
    open(path(name), "wb").write(data)
