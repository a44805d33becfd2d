#!/usr/bin/python3
# Made the committed PNG fixtures once with Pillow and ImageMagick (independent encoders) from
# the formulas png_test.cpp recomputes; each file is then checked with a small reader below.
# Run from this folder with Debian's python3 (python3-pil) and convert-im6.q16. Not used by tests.
import os
import struct
import subprocess
import zlib

from PIL import Image, PngImagePlugin

W, H = 13, 11
IM = "/usr/bin/convert-im6.q16"
# Keep ImageMagick from adding gamma, chromaticity or time chunks the formulas know nothing of.
IM_PLAIN = ["-define", "png:exclude-chunk=all", "-define", "png:include-chunk=tRNS"]


# --- the formulas (png_test.cpp has the same ones); r is the file row, 0 at the top ---
def base(x, r, c):
    return (x * 37 + r * 59 + c * 101 + x * r * 7) & 0xFF


def low(x, r, c):
    return (x * 13 + r * 29 + c * 71) & 0xFF


def sample16(x, r, c):
    return base(x, r, c) << 8 | low(x, r, c)


ALPHAS = [0, 255, 128, 37, 200]


def alpha8(x, r):
    return ALPHAS[(x + 2 * r) % 5]


def alpha16(x, r):
    a = alpha8(x, r)
    return 0 if a == 0 else 65535 if a == 255 else a << 8 | (x * 5 & 0xFF)


def palette(n):
    return [((i * 73 + 11) & 0xFF, (i * 151 + 7) & 0xFF, (i * 199 + 3) & 0xFF) for i in range(n)]


def index(x, r, n):
    return base(x, r, 0) % n


def grey(x, r, bits):
    return base(x, r, 0) >> (8 - bits)


# --- writers ---
def pil_grey(name, bits, **kw):
    if bits == 1:
        im = Image.new("1", (W, H))
        im.putdata([255 * grey(x, r, 1) for r in range(H) for x in range(W)])
    elif bits == 8:
        im = Image.new("L", (W, H))
        im.putdata([grey(x, r, 8) for r in range(H) for x in range(W)])
    else:
        im = Image.new("I;16", (W, H))
        im.putdata([sample16(x, r, 0) for r in range(H) for x in range(W)])
    im.save(name, optimize=False, **kw)


def pil_palette(name, n, **kw):
    im = Image.new("P", (W, H))
    flat = [v for rgb in palette(n) for v in rgb]
    im.putpalette(flat)
    im.putdata([index(x, r, n) for r in range(H) for x in range(W)])
    im.save(name, optimize=False, **kw)


def pil_rgb(name, alpha=False, grey_alpha=False, bkgd=None, **kw):
    info = PngImagePlugin.PngInfo()
    if bkgd is not None:
        info.add(b"bKGD", bkgd)
    if grey_alpha:
        im = Image.new("LA", (W, H))
        im.putdata([(base(x, r, 0), alpha8(x, r)) for r in range(H) for x in range(W)])
    elif alpha:
        im = Image.new("RGBA", (W, H))
        im.putdata([(base(x, r, 0), base(x, r, 1), base(x, r, 2), alpha8(x, r))
                    for r in range(H) for x in range(W)])
    else:
        im = Image.new("RGB", (W, H))
        im.putdata([(base(x, r, 0), base(x, r, 1), base(x, r, 2))
                    for r in range(H) for x in range(W)])
    im.save(name, optimize=False, pnginfo=info, **kw)


def im_write(name, channels, depth16, values, colour_type, bit_depth, interlace):
    """values(x, r) -> tuple of samples already at 8 or 16 bits."""
    if channels == 2:
        # ImageMagick 6 has no grey+alpha raw input: give it RGBA with equal channels.
        grey_values = values
        values = lambda x, r: (grey_values(x, r)[0],) * 3 + (grey_values(x, r)[1],)
        channels = 4
    raw = bytearray()
    for r in range(H):
        for x in range(W):
            for v in values(x, r):
                raw += struct.pack(">H", v) if depth16 else bytes([v])
    fmt = {1: "gray", 3: "rgb", 4: "rgba"}[channels]
    args = [IM, "-size", f"{W}x{H}", "-depth", "16" if depth16 else "8", "-endian", "MSB",
            f"{fmt}:-"]
    args += IM_PLAIN + ["-define", f"png:color-type={colour_type}",
                        "-define", f"png:bit-depth={bit_depth}"]
    if interlace:
        args += ["-interlace", "PNG"]
    args += [f"PNG:{name}"]
    subprocess.run(args, input=bytes(raw), check=True)


def add_chunk(name, kind, data):
    """Insert an ancillary chunk right after IHDR (for bKGD on ImageMagick files)."""
    b = open(name, "rb").read()
    chunk = struct.pack(">I", len(data)) + kind + data
    chunk += struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    open(name, "wb").write(b[:33] + chunk + b[33:])


# --- an independent reader to check what the encoders wrote ---
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def read_png(name):
    b = open(name, "rb").read()
    assert b[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, chunks = 8, b"", {}
    while pos < len(b):
        n, kind = struct.unpack(">I4s", b[pos:pos + 8])
        data = b[pos + 8:pos + 8 + n]
        assert zlib.crc32(kind + data) & 0xFFFFFFFF == struct.unpack(">I", b[pos + 8 + n:pos + 12 + n])[0]
        if kind == b"IDAT":
            idat += data
        else:
            chunks.setdefault(kind, data)
        pos += 12 + n
    w, h, depth, ctype, _, _, inter = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    ch = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    bpp = max(1, depth * ch // 8)
    raw = zlib.decompress(idat)
    pixels = [[None] * w for _ in range(h)]
    passes = ADAM7 if inter else [(0, 0, 1, 1)]
    p = 0
    for (x0, y0, dx, dy) in passes:
        pw, ph = (w - x0 + dx - 1) // dx, (h - y0 + dy - 1) // dy
        if pw == 0 or ph == 0:
            continue
        rowlen = (pw * depth * ch + 7) // 8
        prev = bytearray(rowlen)
        for j in range(ph):
            f, line = raw[p], bytearray(raw[p + 1:p + 1 + rowlen])
            p += 1 + rowlen
            for i in range(rowlen):
                a = line[i - bpp] if i >= bpp else 0
                c = prev[i - bpp] if i >= bpp else 0
                u = prev[i]
                if f == 1:
                    line[i] = (line[i] + a) & 0xFF
                elif f == 2:
                    line[i] = (line[i] + u) & 0xFF
                elif f == 3:
                    line[i] = (line[i] + (a + u) // 2) & 0xFF
                elif f == 4:
                    pa, pb, pc = abs(u - c), abs(a - c), abs(a + u - 2 * c)
                    pr = a if pa <= pb and pa <= pc else u if pb <= pc else c
                    line[i] = (line[i] + pr) & 0xFF
            prev = line
            for i in range(pw):
                s = []
                for k in range(ch):
                    bit = (i * ch + k) * depth
                    if depth == 16:
                        s.append(line[bit // 8] << 8 | line[bit // 8 + 1])
                    else:
                        s.append((line[bit // 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1))
                pixels[y0 + j * dy][x0 + i * dx] = tuple(s)
    return dict(w=w, h=h, depth=depth, ctype=ctype, interlace=inter, pixels=pixels, chunks=chunks)


def check(name, depth, ctype, interlace, expect):
    png = read_png(name)
    assert (png["w"], png["h"], png["depth"], png["ctype"], png["interlace"]) == \
        (W, H, depth, ctype, interlace), (name, png["depth"], png["ctype"], png["interlace"])
    pal = png["chunks"].get(b"PLTE")
    for r in range(H):
        for x in range(W):
            got = png["pixels"][r][x]
            if ctype == 3:
                i = got[0]
                got = (pal[3 * i], pal[3 * i + 1], pal[3 * i + 2])
            assert got == tuple(expect(x, r)), (name, x, r, got, expect(x, r))
    print(f"{name}: {os.path.getsize(name)} bytes, checked")


def main():
    # grey, every depth
    pil_grey("grey1.png", 1)
    check("grey1.png", 1, 0, 0, lambda x, r: (grey(x, r, 1),))
    for bits in (2, 4):
        im_write(f"grey{bits}.png", 1, False,
                 lambda x, r, b=bits: (grey(x, r, b) * 255 // ((1 << b) - 1),), 0, bits, False)
        check(f"grey{bits}.png", bits, 0, 0, lambda x, r, b=bits: (grey(x, r, b),))
    pil_grey("grey8.png", 8)
    check("grey8.png", 8, 0, 0, lambda x, r: (grey(x, r, 8),))
    pil_grey("grey16.png", 16)
    check("grey16.png", 16, 0, 0, lambda x, r: (sample16(x, r, 0),))
    for bits in (1, 2, 8):
        im_write(f"grey{bits}-interlaced.png", 1, False,
                 lambda x, r, b=bits: (grey(x, r, b) * 255 // ((1 << b) - 1),), 0, bits, True)
        check(f"grey{bits}-interlaced.png", bits, 0, 1, lambda x, r, b=bits: (grey(x, r, b),))
    im_write("grey16-interlaced.png", 1, True, lambda x, r: (sample16(x, r, 0),), 0, 16, True)
    check("grey16-interlaced.png", 16, 0, 1, lambda x, r: (sample16(x, r, 0),))

    # palette, every depth
    for bits, n in ((1, 2), (2, 4), (4, 16), (8, 256)):
        pil_palette(f"palette{bits}.png", n)
        check(f"palette{bits}.png", bits, 3, 0, lambda x, r, n=n: palette(n)[index(x, r, n)])
    for bits, n in ((2, 4), (8, 100)):
        im_write(f"palette{bits}-interlaced.png", 3, False,
                 lambda x, r, n=n: palette(n)[index(x, r, n)], 3, bits, True)
        check(f"palette{bits}-interlaced.png", bits, 3, 1,
              lambda x, r, n=n: palette(n)[index(x, r, n)])
    # palette transparency: one fully transparent entry 0, and a table of several entries
    pil_palette("palette4-trns0.png", 16, transparency=0)
    pil_palette("palette8-trns.png", 256, transparency=bytes([255, 0, 128, 7, 255, 60]))
    # a background colour must not turn the indices into colours
    pil_palette("palette8-trns-bkgd.png", 256, transparency=bytes([255, 0, 128]))
    add_chunk("palette8-trns-bkgd.png", b"bKGD", bytes([9]))
    for name in ("palette4-trns0.png", "palette8-trns.png", "palette8-trns-bkgd.png"):
        assert b"tRNS" in read_png(name)["chunks"], name

    # RGB
    pil_rgb("rgb8.png")
    check("rgb8.png", 8, 2, 0, lambda x, r: (base(x, r, 0), base(x, r, 1), base(x, r, 2)))
    rgb16 = lambda x, r: (sample16(x, r, 0), sample16(x, r, 1), sample16(x, r, 2))
    im_write("rgb16.png", 3, True, rgb16, 2, 16, False)
    check("rgb16.png", 16, 2, 0, rgb16)
    im_write("rgb8-interlaced.png", 3, False,
             lambda x, r: (base(x, r, 0), base(x, r, 1), base(x, r, 2)), 2, 8, True)
    check("rgb8-interlaced.png", 8, 2, 1,
          lambda x, r: (base(x, r, 0), base(x, r, 1), base(x, r, 2)))
    im_write("rgb16-interlaced.png", 3, True, rgb16, 2, 16, True)
    check("rgb16-interlaced.png", 16, 2, 1, rgb16)

    # single transparent colours on grey and RGB files (the colour of pixel (0, 0))
    pil_grey("grey8-trns.png", 8, transparency=grey(0, 0, 8))
    pil_rgb("rgb8-trns.png", transparency=(base(0, 0, 0), base(0, 0, 1), base(0, 0, 2)))
    # Pillow writes no tRNS for 16-bit grey: add the chunk to its file
    pil_grey("grey16-trns.png", 16)
    add_chunk("grey16-trns.png", b"tRNS", struct.pack(">H", sample16(0, 0, 0)))
    for name in ("grey8-trns.png", "rgb8-trns.png", "grey16-trns.png"):
        assert b"tRNS" in read_png(name)["chunks"], name

    # grey with alpha
    ga8 = lambda x, r: (base(x, r, 0), alpha8(x, r))
    pil_rgb("grey-alpha8.png", grey_alpha=True)
    check("grey-alpha8.png", 8, 4, 0, ga8)
    pil_rgb("grey-alpha8-bkgd.png", grey_alpha=True, bkgd=struct.pack(">H", 90))
    check("grey-alpha8-bkgd.png", 8, 4, 0, ga8)
    ga16 = lambda x, r: (sample16(x, r, 0), alpha16(x, r))
    im_write("grey-alpha16.png", 2, True, ga16, 4, 16, False)
    check("grey-alpha16.png", 16, 4, 0, ga16)
    im_write("grey-alpha16-interlaced.png", 2, True, ga16, 4, 16, True)
    check("grey-alpha16-interlaced.png", 16, 4, 1, ga16)

    # RGBA
    rgba8 = lambda x, r: (base(x, r, 0), base(x, r, 1), base(x, r, 2), alpha8(x, r))
    pil_rgb("rgba8.png", alpha=True)
    check("rgba8.png", 8, 6, 0, rgba8)
    pil_rgb("rgba8-bkgd.png", alpha=True, bkgd=struct.pack(">HHH", 10, 20, 30))
    check("rgba8-bkgd.png", 8, 6, 0, rgba8)
    im_write("rgba8-interlaced.png", 4, False, rgba8, 6, 8, True)
    check("rgba8-interlaced.png", 8, 6, 1, rgba8)
    rgba16 = lambda x, r: (sample16(x, r, 0), sample16(x, r, 1), sample16(x, r, 2),
                           alpha16(x, r))
    im_write("rgba16.png", 4, True, rgba16, 6, 16, False)
    check("rgba16.png", 16, 6, 0, rgba16)
    im_write("rgba16-bkgd.png", 4, True, rgba16, 6, 16, False)
    add_chunk("rgba16-bkgd.png", b"bKGD", struct.pack(">HHH", 0x1234, 0x5678, 0x9ABC))
    check("rgba16-bkgd.png", 16, 6, 0, rgba16)
    im_write("rgba16-interlaced.png", 4, True, rgba16, 6, 16, True)
    check("rgba16-interlaced.png", 16, 6, 1, rgba16)


# --- tiny corrupt files, each must fail or load cleanly ---
def chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_bytes(w, h, depth, ctype, rows, interlace=0, extra=b"", ihdr_crc_ok=True):
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, ctype, 0, 0, interlace))
    if not ihdr_crc_ok:
        ihdr = ihdr[:-1] + bytes([ihdr[-1] ^ 0x55])
    return (b"\x89PNG\r\n\x1a\n" + ihdr + extra + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


def make_bad():
    good = open("rgb8.png", "rb").read()
    bad = {
        "bad-truncated-header.png": good[:20],
        "bad-truncated-idat.png": good[:len(good) // 2],
        "bad-no-iend.png": good[:-12],
        "bad-crc-ihdr.png": png_bytes(4, 4, 8, 2, bytes(4 * 13), ihdr_crc_ok=False),
        "bad-crc-idat.png": good[:-16] + bytes([good[-16] ^ 1]) + good[-15:],
        # sides far beyond what the image model accepts
        "bad-huge-width.png": png_bytes(1000000, 1000000, 8, 6, bytes(64)),
        "bad-huge-area.png": png_bytes(20000, 20000, 8, 2, bytes(64)),
        # a big picture claimed by a file that cannot hold it
        "bad-big-claim.png": png_bytes(10000, 10000, 8, 6, bytes(10001 * 4)),
        "bad-big-claim-interlaced.png": png_bytes(10000, 10000, 8, 0, bytes(200), interlace=1),
        "bad-zero-width.png": png_bytes(0, 4, 8, 0, bytes(4)),
        "bad-bit-depth.png": png_bytes(4, 4, 3, 0, bytes(8)),
        "bad-colour-type.png": png_bytes(4, 4, 8, 5, bytes(20)),
        "bad-filter-byte.png": png_bytes(4, 2, 8, 0, bytes([9, 1, 2, 3, 4, 0, 1, 2, 3, 4])),
        "bad-zlib.png": good[:41] + bytes([good[41] ^ 0xFF]) + good[42:],
        "bad-no-plte.png": png_bytes(4, 4, 8, 3, bytes(20)),
        # indices beyond a two-entry palette
        "bad-palette-index.png": png_bytes(4, 2, 8, 3, bytes([0, 0, 1, 200, 255, 0, 7, 8, 9, 1]),
                                           extra=chunk(b"PLTE", bytes([1, 2, 3, 4, 5, 6]))),
        "bad-trns-too-long.png": png_bytes(4, 2, 8, 3, bytes(10),
                                           extra=chunk(b"PLTE", bytes(12)) + chunk(b"tRNS", bytes(200))),
        "bad-interlaced-short.png": open("rgba8-interlaced.png", "rb").read()[:300],
        "bad-short-data.png": png_bytes(16, 16, 8, 6, bytes(30)),
        "bad-extra-data.png": png_bytes(2, 2, 8, 0, bytes(2000)),
        # 2-bit rows of 9 pixels whose padding bits are set
        "bad-2bit-padding.png": png_bytes(9, 3, 2, 0, bytes([0, 0xFF, 0xE4, 0x7F, 0, 0x1B, 0xE4, 0xFF,
                                                             0, 0xAA, 0x55, 0xC0])),
    }
    for name, data in bad.items():
        open(name, "wb").write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
    make_bad()
