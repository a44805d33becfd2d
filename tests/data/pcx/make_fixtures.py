#!/usr/bin/python3
# Makes the PCX test files once from small synthetic pictures, with Pillow, ImageMagick's
# convert, and hand-written bytes for the plane layouts neither tool writes. Run from here.
import os
import struct
import subprocess
import tempfile

from PIL import Image

W, H = 11, 5

# The pictures, by column x and row r counted from the top (pcx_test.cpp rebuilds them).
def colour(x, r):
    return (20 * x + 5, 8 * (6 * r + 2), (8 * (3 * x + 5 * r)) % 256)

PAL16 = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
         (0, 255, 255), (255, 0, 255), (128, 0, 0), (0, 128, 0), (0, 0, 128), (128, 128, 0),
         (0, 128, 128), (128, 0, 128), (192, 192, 192), (64, 32, 16)]

def pindex(x, r, colours=16):
    return (x + 3 * r) % colours

def grey(x, r):
    return 23 * x + 5 * r

def white(x, r):
    return (x * x + 2 * r) % 3 == 0

def picture(kind, colours=16):
    im = Image.new("RGB", (W, H))
    for r in range(H):
        for x in range(W):
            if kind == "colour":
                c = colour(x, r)
            elif kind == "palette":
                c = PAL16[pindex(x, r, colours)]
            elif kind == "grey":
                c = (grey(x, r),) * 3
            else:
                c = (255,) * 3 if white(x, r) else (0,) * 3
            im.putpixel((x, r), c)
    return im

def check(name, kind, colours=16, tool="pil"):
    # An independent decoder must see the intended picture in every file.
    want = list(picture(kind, colours).getdata())
    if tool == "pil":
        got = list(Image.open(name).convert("RGB").getdata())
    else:
        out = subprocess.run(["convert", name, "-depth", "8", "rgb:-"], check=True,
                             capture_output=True).stdout
        got = [tuple(out[i:i + 3]) for i in range(0, len(out), 3)]
    assert got == want, name

tmp = tempfile.mkdtemp()

def pil_file(name, kind, mode):
    im = picture(kind)
    if mode == "P":
        im = im.quantize(colors=16, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    else:
        im = im.convert(mode, dither=Image.Dither.NONE)
    im.save(name)
    check(name, kind)

pil_file("pil-1.pcx", "bilevel", "1")
pil_file("pil-8.pcx", "palette", "P")
pil_file("pil-8grey.pcx", "grey", "L")
pil_file("pil-24.pcx", "colour", "RGB")

def im_file(name, kind, *args):
    src = os.path.join(tmp, kind + ".png")
    picture(kind).save(src)
    subprocess.run(["convert", src, *args, name], check=True)
    check(name, kind)

im_file("im-8.pcx", "palette", "-type", "Palette")
im_file("im-24.pcx", "colour", "-type", "TrueColor")

# --- hand-written plane layouts ---

def header(bits, planes, per_line, palette16=(), w=W, h=H, xmin=0, ymin=0, maker=10,
           encoding=1):
    pal = b"".join(bytes(c) for c in palette16).ljust(48, b"\0")
    return (struct.pack("<BBBBHHHHHH", maker, 5, encoding, bits, xmin, ymin, xmin + w - 1,
                        ymin + h - 1, 72, 72) + pal + b"\0" + bytes([planes]) +
            struct.pack("<HH", per_line, 1)).ljust(128, b"\0")

def encode(data):
    # ZSoft run-length coding: runs of up to 63 equal bytes; a single byte of 192 or more
    # must be written as a run of one.
    out, i = b"", 0
    while i < len(data):
        n = 1
        while i + n < len(data) and data[i + n] == data[i] and n < 63:
            n += 1
        if n > 1 or data[i] >= 192:
            out += bytes([192 | n, data[i]])
        else:
            out += bytes([data[i]])
        i += n
    return out

def plane_lines(indices, planes, per_line):
    # One scan line: plane k holds bit k of every index, bit 7 first.
    line = b""
    for k in range(planes):
        p = bytearray(per_line)
        for x, v in enumerate(indices):
            if v >> k & 1:
                p[x // 8] |= 0x80 >> (x % 8)
        line += bytes(p)
    return line

def packed_line(indices, bits, per_line):
    p = bytearray(per_line)
    for x, v in enumerate(indices):
        bit = x * bits
        p[bit // 8] |= v << (8 - bits - bit % 8)
    return bytes(p)

def write(name, data):
    with open(name, "wb") as f:
        f.write(data)

per_line_1 = ((W + 7) // 8 + 1) // 2 * 2
for planes, colours in [(2, 4), (3, 8), (4, 16)]:
    name = f"hand-1bit-{planes}planes.pcx"
    body = b"".join(encode(plane_lines([pindex(x, r, colours) for x in range(W)], planes,
                                       per_line_1)) for r in range(H))
    write(name, header(1, planes, per_line_1, PAL16[:colours]) + body)
    check(name, "palette", colours, tool="im")

for bits, colours in [(2, 4), (4, 16)]:
    name = f"hand-{bits}bit.pcx"
    per_line = ((W * bits + 7) // 8 + 1) // 2 * 2
    body = b"".join(encode(packed_line([pindex(x, r, colours) for x in range(W)], bits,
                                       per_line)) for r in range(H))
    write(name, header(bits, 1, per_line, PAL16[:colours]) + body)
    check(name, "palette", colours, tool="im")

# 8-bit lines of 12 bytes coded as one stream, so that runs go on from one line into the
# next: runs of (index, length) over the 60 bytes, lines top first.
RUNS = [(3, 5), (7, 20), (1, 7), (12, 28)]
stream = b"".join(bytes([v]) * n for v, n in RUNS)
write("hand-8-runs-across-lines.pcx", header(8, 1, W + 1) +
      b"".join(bytes([192 | n, v]) for v, n in RUNS) + b"\x0c" +
      b"".join(bytes(c) for c in PAL16).ljust(768, b"\0"))
got = subprocess.run(["convert", "hand-8-runs-across-lines.pcx", "-depth", "8", "rgb:-"],
                     check=True, capture_output=True).stdout
assert all(tuple(got[3 * (r * W + x):3 * (r * W + x) + 3]) == PAL16[stream[r * (W + 1) + x]]
           for r in range(H) for x in range(W))

# --- tiny corrupt files: each must fail with its message or load cleanly ---
tiny = encode(bytes(2 * 4))
write("bad-short-header.pcx", header(8, 1, 2, w=2, h=4)[:60])
write("bad-manufacturer.pcx", header(8, 1, 2, w=2, h=4, maker=11) + tiny)
write("bad-encoding.pcx", header(8, 1, 2, w=2, h=4, encoding=0) + tiny)
write("bad-negative-width.pcx", header(8, 1, 2, w=-4, h=4, xmin=10) + tiny)
write("bad-five-planes.pcx", header(1, 5, 2, w=2, h=4) + tiny)
write("bad-bits-planes.pcx", header(8, 2, 2, w=2, h=4) + tiny)
write("bad-4bit-3planes.pcx", header(4, 3, 2, w=2, h=4) + tiny)
write("bad-run-overflow.pcx", header(8, 1, 2, w=2, h=4) + b"\xc9\x07")
write("bad-truncated.pcx", header(8, 1, 2, w=2, h=4) + b"\xc3\x07")
write("bad-huge.pcx", header(1, 4, 65535, w=65535, h=65535) + b"\xff\x00" * 8)
write("bad-signature.pcx", header(8, 1, 2, w=2, h=4) + encode(bytes(8)) + b"\x0b")
# Lines of 2 bytes for a picture 11 pixels wide: columns past the data stay index 0.
write("bad-short-lines.pcx", header(8, 1, 2) + encode(bytes([5, 6] * H)) + b"\x0c" +
      bytes(range(256)) * 3)
