#!/usr/bin/python3
# Made the committed HEIF/AVIF files once from pictures heif-enc (libheif 1.15, x265, aom) coded:
# two honest grids, and bad files that each claim or code far more than they show, or are cut.
# Run from this folder with heif-enc installed. Not used by tests.
import os
import re
import struct
import subprocess
import tempfile
import zlib


def png(path, w, h, pixel):
    rows = b"".join(b"\0" + bytes(pixel(x, y, c) for x in range(w) for c in range(3))
                    for y in range(h))

    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def encode(folder, w, h, avif, flat=False):
    """heif-enc's file of a w x h picture: a gradient, or one colour (tiny at any size)."""
    source, out = os.path.join(folder, "in.png"), os.path.join(folder, "out")
    png(source, w, h, (lambda x, y, c: (90, 120, 200)[c]) if flat else
        (lambda x, y, c: (x * 7 + y * 5 + c * 50) & 255))
    subprocess.run(["heif-enc", "-q", "0" if flat else "30", "-o", out, source] +
                   (["-A"] if avif else []), check=True, capture_output=True)
    return open(out, "rb").read()


def box(t, p):
    return struct.pack(">I", 8 + len(p)) + t + p


def full(t, version, flags, p):
    return box(t, struct.pack(">I", version << 24 | flags) + p)


def find(b, path, start=0, end=None):
    """Offset and size of the box at path (meta is a full box)."""
    end = len(b) if end is None else end
    while start + 8 <= end:
        size, t = struct.unpack(">I4s", b[start:start + 8])
        if t == path[0]:
            return (start, size) if len(path) == 1 else \
                find(b, path[1:], start + (12 if t == b"meta" else 8), start + size)
        start += size
    raise KeyError(path)


def grid(tile_file, avif, tile_w, tile_h, cols, rows):
    """A grid of cols x rows tiles of tile_w x tile_h, all coded by tile_file's one picture."""
    config_type, item_type = (b"av1C", b"av01") if avif else (b"hvcC", b"hvc1")
    at, size = find(tile_file, [b"meta", b"iprp", b"ipco", config_type])
    config = tile_file[at:at + size]
    at, size = find(tile_file, [b"mdat"])
    data = tile_file[at + 8:at + size]
    n = cols * rows
    brand = b"avif" if avif else b"heic"
    ftyp = box(b"ftyp", brand + b"\0\0\0\0mif1" + brand)
    hdlr = full(b"hdlr", 0, 0, b"\0" * 4 + b"pict" + b"\0" * 13)
    pitm = full(b"pitm", 0, 0, struct.pack(">H", 1))
    infes = b"".join(full(b"infe", 2, 1 if k > 1 else 0, struct.pack(">HH", k, 0) +
                          (b"grid" if k == 1 else item_type) + b"\0") for k in range(1, n + 2))
    iinf = full(b"iinf", 0, 0, struct.pack(">H", n + 1) + infes)
    iref = full(b"iref", 0, 0, box(b"dimg", struct.pack(">HH", 1, n) +
                                   b"".join(struct.pack(">H", k) for k in range(2, n + 2))))
    ipco = box(b"ipco", config + full(b"ispe", 0, 0, struct.pack(">II", tile_w, tile_h)) +
               full(b"ispe", 0, 0, struct.pack(">II", tile_w * cols, tile_h * rows)))
    ipma = full(b"ipma", 0, 0, struct.pack(">I", n + 1) + struct.pack(">HBB", 1, 1, 0x03) +
                b"".join(struct.pack(">HBBB", k, 2, 0x81, 0x02) for k in range(2, n + 2)))
    grid_data = struct.pack(">BBBBHH", 0, 0, rows - 1, cols - 1, tile_w * cols, tile_h * rows)

    def head(base):
        iloc = full(b"iloc", 0, 0, bytes([0x44, 0]) + struct.pack(">H", n + 1) +
                    struct.pack(">HHHII", 1, 0, 1, base, len(grid_data)) +
                    b"".join(struct.pack(">HHHII", k, 0, 1, base + len(grid_data), len(data))
                             for k in range(2, n + 2)))
        return ftyp + full(b"meta", 0, 0, hdlr + pitm + iloc + iinf + iref + box(b"iprp", ipco +
                                                                                  ipma))
    return head(len(head(0)) + 8) + box(b"mdat", grid_data + data)


def claim(b, w, h):
    """The file with every ispe box claiming w x h."""
    b = bytearray(b)
    for m in re.finditer(b"ispe", bytes(b)):
        b[m.start() + 8:m.start() + 16] = struct.pack(">II", w, h)
    return bytes(b)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        for avif, ext in ((False, "heic"), (True, "avif")):
            small = encode(tmp, 8, 6, avif)
            # Tiles of whole coding blocks: x265 pads smaller pictures, and a tile larger than
            # its cell would overlap its neighbours.
            tile = encode(tmp, 64, 64, avif)
            big = encode(tmp, 4096, 4096, avif, flat=True)
            files = {
                "grid-2x2": grid(tile, avif, 64, 64, 2, 2),
                "bad-claims-16384-square": claim(small, 16384, 16384),
                # The bitstream codes 4096 x 4096 behind a 64 x 64 item.
                "bad-codes-more-than-shown": claim(big, 64, 64),
                # Sixteen 64 x 64 tiles, each coding 4096 x 4096: libheif would decode them all.
                "bad-grid-tiles-code-more": grid(big, avif, 64, 64, 4, 4),
                "bad-cut-in-half": small[:len(small) // 2],
            }
            if not avif:
                # 201 items in 9 KB: each tile costs its own decoder however small it is.
                files["bad-many-tiny-tiles"] = grid(small, avif, 8, 6, 20, 10)
            for name, data in files.items():
                with open("%s.%s" % (name, ext), "wb") as f:
                    f.write(data)
                print("%-32s %6d bytes" % (name + "." + ext, len(data)))


if __name__ == "__main__":
    main()
