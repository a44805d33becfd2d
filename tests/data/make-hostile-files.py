#!/usr/bin/python3
# Writes small files that claim big pictures, one per costly class of each decoder, to measure
# what a load of them costs (peak memory, time): make-hostile-files.py OUTPUT_FOLDER.
# Needs the zstd and xz tools for the ZSTD and LZMA strips.
import os
import struct
import subprocess
import sys
import zlib
import lzma

SHORT, LONG = 3, 4


def tiff(width, height, samples, compression, strips, photometric=None, rows=None):
    """Little-endian TIFF, its strips from offset 8 on, the directory behind them."""
    photometric = photometric if photometric is not None else (2 if samples >= 3 else 1)
    if isinstance(strips, bytes):
        strips = [strips]
    offsets, at = [], 8
    for s in strips:
        offsets.append(at)
        at += len(s)
    strip = b"".join(strips)
    tags = [(256, LONG, [width]), (257, LONG, [height]), (258, SHORT, [8] * samples),
            (259, SHORT, [compression]), (262, SHORT, [photometric]), (273, LONG, offsets),
            (277, SHORT, [samples]), (278, LONG, [rows or height]),
            (279, LONG, [len(s) for s in strips])]
    ifd_at = 8 + len(strip) + (len(strip) & 1)
    pool_at = ifd_at + 2 + 12 * len(tags) + 4
    entries, pool = b"", b""
    for tag, kind, values in tags:
        raw = b"".join(struct.pack("<H" if kind == SHORT else "<I", v) for v in values)
        if len(raw) <= 4:
            entries += struct.pack("<HHI", tag, kind, len(values)) + raw.ljust(4, b"\0")
        else:
            entries += struct.pack("<HHII", tag, kind, len(values), pool_at + len(pool))
            pool += raw
    head = b"II*\0" + struct.pack("<I", ifd_at)
    return head + strip + b"\0" * (len(strip) & 1) + struct.pack("<H", len(tags)) + entries + \
        b"\0\0\0\0" + pool


def zstd_zeros(count):
    return subprocess.run(["zstd", "-19", "-q", "-c", "--no-check", "--stream-size=%d" % count],
                          input=bytes(count), capture_output=True, check=True).stdout


def deflate_zeros(count):
    return zlib.compress(bytes(count), 9)


def gif_densest(width, height, data_bytes):
    """GIF with code size 2 whose codes give the most pixels a byte can: a chain of ever longer
    strings until the table is full, then the longest again and again."""
    codes = [(4, 3), (0, 3)]
    w = 3
    for slot in range(6, 4096):
        codes.append((slot, w))
        if slot + 1 == (1 << w) and w < 12:
            w += 1
    while len(codes) * 12 // 8 < data_bytes:
        codes.append((4095, 12))
    codes.append((5, 12))
    packed, acc, bits = bytearray(), 0, 0
    for code, width_bits in codes:
        acc |= code << bits
        bits += width_bits
        while bits >= 8:
            packed.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        packed.append(acc & 0xFF)
    data = bytearray([2])
    for i in range(0, len(packed), 255):
        chunk = packed[i:i + 255]
        data += bytes([len(chunk)]) + chunk
    data += b"\0"
    screen = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0) + bytes(12)
    image = b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    return screen + image + bytes(data) + b"\x3b"


def bmp(width, height, bits, compression, pixels, table=b""):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 0, 2835, 2835,
                       len(table) // 4, 0)
    offset = 14 + 40 + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + table + pixels


def bmp_rle8_densest(width, height, budget):
    """Runs of 255 pixels, then a delta to the next row when the row is full."""
    out = bytearray()
    per_row = width // 255
    while len(out) + 2 * per_row + 2 < budget:
        out += bytes([255, 7]) * per_row + b"\0\0"
    return bytes(out + b"\0\1")


def tga_rle(width, height, depth, budget):
    out = bytearray()
    packet = bytes([0xFF]) + bytes(depth // 8)
    while len(out) + len(packet) < budget:
        out += packet
    head = struct.pack("<BBBHHBHHHHBB", 0, 0, 10, 0, 0, 0, 0, 0, width, height, depth, 0x20)
    return head + bytes(out)


def pcx_runs(width, height, planes, budget):
    head = bytearray(128)
    head[0:4] = bytes([10, 5, 1, 8])
    head[8:12] = struct.pack("<HH", width - 1, height - 1)
    head[65] = planes
    head[66:68] = struct.pack("<H", width)
    out = bytes([0xFF, 0x20]) * (budget // 2)  # runs of 63 bytes of 0x20
    return bytes(head) + out


def ico(width, height, bits):
    stride = (width * bits + 31) // 32 * 4
    mask = (width + 31) // 32 * 4
    info = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, bits, 0, 0, 0, 0, 0, 0)
    body = info + bytes(stride * height) + bytes(mask * height)
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, bits, len(body), 22)
    return struct.pack("<HHH", 0, 1, 1) + entry + body


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        # ZSTD claiming a quarter gigapixel of colour in about 25 KB.
        "tiff-zstd-16384-square.tif": tiff(16384, 16384, 3, 50000, zstd_zeros(16384 * 16384 * 3)),
        # LZMA claiming 8192 x 8192 of colour in 29 KB.
        "tiff-lzma-8192-square.tif": tiff(8192, 8192, 3, 34925,
                                           lzma.compress(bytes(8192 * 8192 * 3), preset=9)),
        # Deflate at its densest: 60 KB that inflate to 61 MB of colour.
        "tiff-deflate-60k-rgb.tif": tiff(4500, 4500, 3, 8, deflate_zeros(4500 * 4500 * 3)),
        # Deflate, grey, strips of 64 rows: the picture fits the budget, the strips are small.
        "tiff-deflate-60k-grey.tif": tiff(7800, 7800, 1, 8,
                                          [deflate_zeros(7800 * 64)] * 121 +
                                          [deflate_zeros(7800 * (7800 - 121 * 64))], rows=64),
        # ZSTD colour whose picture alone (27 MB) is under the budget floor.
        "tiff-zstd-3000-square.tif": tiff(3000, 3000, 3, 50000, zstd_zeros(3000 * 3000 * 3)),
        # A 60 KB GIF whose codes could give 157 million pixels, claiming 144 million.
        "gif-60k-12000-square.gif": gif_densest(12000, 12000, 60000),
        # One that claims 64 million and gives them: loads within the budget.
        "gif-28k-8000-square.gif": gif_densest(8000, 8000, 28000),
        # BMP run-length at its densest, 60 KB.
        "bmp-rle8-60k.bmp": bmp(65280, 115, 8, 1, bmp_rle8_densest(65280, 115, 60000),
                                bytes(1024)),
        # 32-bit BMP: a picture and a line buffer as wide as the file claims.
        "bmp-32-wide.bmp": bmp(7000000, 1, 32, 0, bytes(60000)),
        # TGA 32-bit run-length packets of 128 pixels, 60 KB.
        "tga-rle32-60k.tga": tga_rle(1280, 1199, 32, 60000),
        # PCX 24-bit runs of 63 bytes, 60 KB.
        "pcx-24-60k.pcx": pcx_runs(3000, 420, 3, 60000),
        # ICO 32-bit 120 x 120 with its mask: a complete ordinary icon.
        "ico-32-120.ico": ico(120, 120, 32),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print("%-32s %8d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
