#!/usr/bin/python3
# Writes tiny TIFF files by hand that no library would write: the malformed bad-*.tif, each
# guarding a path where a fault of the reader could hide, and a few odd but valid ones.
import struct

SHORT, LONG, RATIONAL = 3, 4, 5
WIDTH, LENGTH, BITS, COMPRESSION, PHOTOMETRIC = 256, 257, 258, 259, 262
OFFSETS, ORIENTATION, SAMPLES, ROWS, COUNTS = 273, 274, 277, 278, 279
XRES, YRES, XPOS, YPOS, COLORMAP = 282, 283, 286, 287, 320


def build(tags, strip, next_ifd=0, strip_offset=None):
    """Little-endian classic TIFF: header, IFD at 8, out-of-line values, strip data."""
    tags = sorted(tags, key=lambda t: t[0])
    ifd_size = 2 + 12 * len(tags) + 4
    pool = bytearray()
    pool_base = 8 + ifd_size
    entries = []
    fmt = {SHORT: "<H", LONG: "<I", RATIONAL: "<II"}
    size = {SHORT: 2, LONG: 4, RATIONAL: 8}
    strip_at = pool_base + sum(
        (size[t] * len(v) + 1) & ~1 for _, t, v in tags if size[t] * len(v) > 4)
    for tag, kind, values in tags:
        if tag == OFFSETS and values == ["strip"]:
            values = [strip_at if strip_offset is None else strip_offset]
        raw = b"".join(struct.pack(fmt[kind], *(v if isinstance(v, tuple) else (v,)))
                       for v in values)
        if len(raw) <= 4:
            entries.append(struct.pack("<HHI", tag, kind, len(values)) + raw.ljust(4, b"\0"))
        else:
            entries.append(struct.pack("<HHII", tag, kind, len(values), pool_base + len(pool)))
            pool += raw
            if len(pool) % 2:
                pool += b"\0"
    if next_ifd == "self":
        next_ifd = 8
    ifd = struct.pack("<H", len(tags)) + b"".join(entries) + struct.pack("<I", next_ifd)
    return b"II*\0" + struct.pack("<I", 8) + ifd + bytes(pool) + strip


def grey(width, height, strip, bits=8, samples=1, extra=(), photometric=1, **kw):
    tags = [(WIDTH, LONG, [width]), (LENGTH, LONG, [height]), (BITS, SHORT, [bits] * samples),
            (COMPRESSION, SHORT, [1]), (PHOTOMETRIC, SHORT, [photometric]),
            (OFFSETS, LONG, ["strip"]), (SAMPLES, SHORT, [samples]),
            (COUNTS, LONG, [len(strip)])]
    tags += list(extra)
    return build(tags, strip, **kw)


files = {
    # Rows per strip 0: one strip holding every row.
    "bad-rows-per-strip-0.tif": grey(4, 3, bytes(range(0, 240, 20)), extra=[(ROWS, LONG, [0])]),
    # Far more pixels than any image may have, in a file of a few bytes.
    "bad-huge-size.tif": grey(70000, 70000, b"\0" * 16),
    # Grey with two samples (grey and alpha) cannot be shown by an 8-bit palette image.
    "bad-two-samples.tif": grey(4, 3, b"\x10" * 24, samples=2),
    # 12-bit grey does not fit any of the palette image shapes.
    "bad-12-bit-grey.tif": grey(4, 3, b"\x55" * 18, bits=12),
    # A 16-bit colour map has 65536 entries per colour; this one is short as well.
    "bad-16-bit-palette.tif": grey(2, 2, b"\0" * 8, bits=16, photometric=3,
                                   extra=[(COLORMAP, SHORT, [0] * 12)]),
    # The directory names itself as the next one.
    "bad-directory-loop.tif": grey(4, 3, b"\x80" * 12, next_ifd="self"),
    # Resolutions and positions too large for an int, and a zero denominator.
    "bad-huge-resolution.tif": grey(4, 3, b"\x80" * 12, extra=[
        (XRES, RATIONAL, [(4294967295, 1)]), (YRES, RATIONAL, [(1, 0)]),
        (XPOS, RATIONAL, [(4294967295, 1)]), (YPOS, RATIONAL, [(4294967295, 3)])]),
    # The strip lies beyond the end of the file.
    "bad-strip-offset.tif": grey(4, 3, b"", strip_offset=1 << 30),
    # An orientation outside 1..8 is ignored.
    "bad-orientation-9.tif": grey(4, 3, bytes(range(12)), extra=[(ORIENTATION, SHORT, [9])]),
    # 16-bit grey of odd width in one strip: the line is 2 * width bytes, the image row less.
    "bad-16-bit-odd-width.tif": grey(5, 3, bytes(range(30)), bits=16),
}

# An X resolution without a Y resolution: Y takes the X value.
files["x-resolution-only.tif"] = grey(4, 3, b"\x80" * 12, extra=[(XRES, RATIONAL, [(96, 1)])])

rgb = open("rgb-raw.tif", "rb").read()
files["bad-truncated-rgb.tif"] = rgb[:300]
g = open("grey8-raw.tif", "rb").read()
files["bad-truncated-grey.tif"] = g[:200]

for name, data in files.items():
    with open(name, "wb") as f:
        f.write(data)
