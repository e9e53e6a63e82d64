#!/usr/bin/env python3
"""Writes app/quillmere.ico: one 32 x 32, 32-bit icon (a blue grid on white)."""
import struct
import sys

SIZE = 32


def pixel(x, y):
    if x % 8 == 0 or y % 8 == 0:
        return (0xA0, 0x40, 0x10, 0xFF)  # blue, green, red, alpha
    return (0xFF, 0xFF, 0xFF, 0xFF)


def main(path):
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        rows.append(b"".join(bytes(pixel(x, y)) for x in range(SIZE)))
    xor = b"".join(rows)
    mask = b"\0" * (SIZE * 4)  # 1-bit AND mask, rows of 4 bytes
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    with open(path, "wb") as out:
        out.write(directory + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/quillmere.ico")
