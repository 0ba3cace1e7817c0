#!/usr/bin/env python3
"""Draws Pegora's icons as 16-colour (4-bit) Windows .ico files.

usage: make_icon.py board|peg OUTPUT.ico SIZE [SIZE...]
       make_icon.py board|peg OUTPUT.png SIZE      (the same drawing for Linux desktops)
  board: the board server, a white board with coloured status lines
  peg:   the status client, a round green peg on a grey base
"""
import struct
import sys
import zlib

# The standard 16-colour palette, as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DGREEN, GREY, DGREY, RED, GREEN, YELLOW, BLUE, WHITE = 0, 2, 7, 8, 9, 10, 11, 12, 15
CLEAR = None


def board(size):
    s = size / 32.0
    pixels = [[CLEAR] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if int(3 * s) <= x < size - int(3 * s) and int(5 * s) <= y < size - int(5 * s):
                edge = x in (int(3 * s), size - int(3 * s) - 1) or y in (int(5 * s), size - int(5 * s) - 1)
                pixels[y][x] = BLACK if edge else WHITE
    rows = [(9, GREEN), (15, RED), (21, YELLOW)]
    for row, colour in rows:
        y0 = int(row * s)
        for y in range(y0, y0 + max(1, int(2 * s))):
            for x in range(int(7 * s), int(10 * s) + 1):
                pixels[y][x] = colour
            for x in range(int(13 * s), size - int(7 * s)):
                pixels[y][x] = DGREY
    return pixels


def peg(size):
    pixels = [[CLEAR] * size for _ in range(size)]
    c = (size - 1) / 2.0
    r = size * 0.42
    for y in range(size):
        for x in range(size):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d <= r:
                pixels[y][x] = BLACK if d > r - max(1.0, size / 16.0) else GREEN
            if d <= r * 0.35 and x < c and y < c:
                pixels[y][x] = WHITE
    return pixels


def image(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor, mask = b'', b''
    for y in reversed(range(size)):
        line = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(size):
            p = pixels[y][x]
            index = 0 if p is None else p
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(line)
        mask += bytes(bits)
    return header + palette + xor + mask


def png(pixels):
    size = len(pixels)
    raw = b''
    for row in pixels:
        raw += b'\0' + b''.join(bytes(PALETTE[p]) + b'\xff' if p is not None else b'\0\0\0\0' for p in row)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def main():
    kind, output, sizes = sys.argv[1], sys.argv[2], [int(a) for a in sys.argv[3:]]
    draw = {'board': board, 'peg': peg}[kind]
    if output.endswith('.png'):
        with open(output, 'wb') as f:
            f.write(png(draw(sizes[0])))
        return
    images = [image(draw(n)) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(output, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main()
