"""Small PNG files written by hand, for the tests, the stand-in catalogue
server, the protocol examples and the benchmarks."""
import os
import struct
import zlib


def _chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_from_rows(width, height, raw_rows, colour_type=6, level=-1):
    """A PNG of 8-bit rows already laid out with their filter byte in front;
    colour type 6 is RGBA, 2 is RGB. `level` is zlib's compression level."""
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
            + _chunk(b"IDAT", zlib.compress(raw_rows, level)) + _chunk(b"IEND", b""))


def png(width, height, pixel):
    """An RGBA PNG; `pixel` is one colour, or a function of (x, y) giving it."""
    if callable(pixel):
        raw = b"".join(b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width))
                       for y in range(height))
    else:
        raw = (b"\x00" + bytes(pixel) * width) * height
    return png_from_rows(width, height, raw)


def flat_png(side):
    """An RGB square of one colour: a few kilobytes encoded, large decoded."""
    return png_from_rows(side, side, (b"\0" + b"\x80" * (side * 3)) * side, colour_type=2,
                         level=1)


def noise_png(side):
    """An RGB square of random pixels: about as large encoded as decoded."""
    return png_from_rows(side, side, b"".join(b"\0" + os.urandom(side * 3) for _ in range(side)),
                         colour_type=2, level=1)
