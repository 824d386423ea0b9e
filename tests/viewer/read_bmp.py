#!/usr/bin/env python3
"""Independent reader of an uncompressed 24-bit Windows bitmap: checks the headers and writes the
pixels as raw RGB bytes, top row first, to the output file. Prints 'WIDTHxHEIGHT' on success."""
import struct
import sys

src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
assert magic == b"BM", magic
assert file_size == len(data), (file_size, len(data))
hsize, width, height, planes, bpp, compression, image_size = struct.unpack_from("<IiiHHII", data, 14)
assert hsize >= 40 and planes == 1 and bpp == 24 and compression == 0, (hsize, planes, bpp, compression)
bottom_up = height > 0
height = abs(height)
stride = (width * 3 + 3) // 4 * 4
assert offset + stride * height <= len(data)
out = bytearray()
for row in range(height):
    y = height - 1 - row if bottom_up else row
    start = offset + y * stride
    for x in range(width):
        b, g, r = data[start + 3 * x : start + 3 * x + 3]
        out += bytes((r, g, b))
open(dst, "wb").write(out)
print(f"{width}x{height}")
