#!/usr/bin/env python3
"""Prints what a PNG shows: its size, resolution and a digest of its pixels
as 8-bit RGB, so that two PNGs of the same picture written differently (RGB
or palette, other compression) print the same line.

    scripts/png-pixels.py FILE.png...

Reads 8-bit greyscale, RGB, palette, grey+alpha and RGBA images without
interlacing (alpha is left out, as the program's figures have none); any
other kind prints its header and a digest of its bytes.
"""
import hashlib
import struct
import sys
import zlib


def unfilter(raw, height, stride, bpp):
    rows = []
    prev = bytearray(stride)
    at = 0
    for _ in range(height):
        kind = raw[at]
        row = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        if kind == 1:
            for i in range(bpp, stride):
                row[i] = (row[i] + row[i - bpp]) & 255
        elif kind == 2:
            for i in range(stride):
                row[i] = (row[i] + prev[i]) & 255
        elif kind == 3:
            for i in range(stride):
                left = row[i - bpp] if i >= bpp else 0
                row[i] = (row[i] + ((left + prev[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                row[i] = (row[i] + pred) & 255
        elif kind != 0:
            raise ValueError("unknown filter %d" % kind)
        rows.append(bytes(row))
        prev = row
    return rows


def describe(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return "not a PNG " + hashlib.sha256(data).hexdigest()
    at = 8
    idat = []
    palette = b""
    phys = ""
    header = None
    while at + 8 <= len(data):
        (size,) = struct.unpack(">I", data[at:at + 4])
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + size]
        at += 12 + size
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"pHYs":
            phys = " pHYs %d %d %d" % struct.unpack(">IIB", body)
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if depth != 8 or interlace != 0 or channels is None:
        return "%dx%d depth %d colour %d%s bytes %s" % (
            width, height, depth, colour, phys, hashlib.sha256(data).hexdigest())
    rows = unfilter(zlib.decompress(b"".join(idat)), height, width * channels, channels)
    digest = hashlib.sha256()
    if colour == 3:
        planes = [bytes(palette[3 * i + k] if 3 * i + k < len(palette) else 0 for i in range(256))
                  for k in range(3)]
        for row in rows:
            for plane in planes:
                digest.update(row.translate(plane))
    elif colour in (0, 4):
        for row in rows:
            grey = row[0::channels]
            digest.update(grey + grey + grey)
    else:
        for row in rows:
            for k in range(3):
                digest.update(row[k::channels])
    return "%dx%d%s pixels %s" % (width, height, phys, digest.hexdigest())


if __name__ == "__main__":
    for name in sys.argv[1:]:
        print(describe(name))
