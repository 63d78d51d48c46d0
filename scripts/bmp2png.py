#!/usr/bin/env python3
"""Converts a 24-bit bottom-up BMP (as the window tests save them) to PNG."""
import struct
import sys
import zlib


def convert(source, target):
    data = open(source, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height = struct.unpack_from('<ii', data, 18)
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height) - 1, -1, -1) if height > 0 else range(-height):
        row = data[offset + y * row_bytes: offset + y * row_bytes + width * 3]
        rgb = bytearray()
        for x in range(width):
            b, g, r = row[3 * x: 3 * x + 3]
            rgb += bytes((r, g, b))
        rows.append(b'\0' + bytes(rgb))

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(b''.join(rows), 9))
    png += chunk(b'IEND', b'')
    open(target, 'wb').write(png)


if __name__ == '__main__':
    convert(sys.argv[1], sys.argv[2])
