#!/usr/bin/env python3
"""Draws the program icon (MAINICON): a parcel with an arrow pointing into it.

    make-icon.py OUT.ico

Two 16-colour images, 32 x 32 and 16 x 16, each drawn from a character map
below; about 1 KiB in all. Runs at build time, so only this script is kept.
"""
import struct
import sys

# The 16 standard colours; a map character selects one, "." is transparent.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INK = {"k": 0, "o": 3, "g": 2, "G": 10, "y": 11, "w": 15, "s": 8}

ICON_32 = """
..............kkkkk.............
..............kGGGk.............
..............kGGGk.............
..............kGGGk.............
..............kGGgk.............
..............kGGgk.............
..............kGGgk.............
..............kGGgk.............
..........kkkkkGGgkkkkk.........
...........kGGGGGGGGGk..........
............kGGGGGGgk...........
.............kGGGGgk............
..kkkkkkkkkkkkkGGgkkkkkkkkkkkk..
..koyyyyyyyyyyykgkyyyyyyyyyyok..
..kooyyyyyyyyyyykyyyyyyyyyyook..
..kooooooooooooowoooooooooooook.
..kkkkkkkkkkkkkkkkkkkkkkkkkkkkk.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..koooooooooooowwwoooooooooooks.
..kkkkkkkkkkkkkkkkkkkkkkkkkkkks.
...sssssssssssssssssssssssssss..
................................
................................
"""

ICON_16 = """
.......kkk......
.......kGk......
.......kGk......
.....kkkGkkk....
......kGGGk.....
.......kGk......
.kkkkkkkkkkkkkk.
.kyyyyyywyyyyyk.
.kkkkkkkkkkkkkk.
.koooooowoooooks
.koooooowoooooks
.koooooowoooooks
.koooooowoooooks
.kkkkkkkkkkkkkks
..ssssssssssssss
................
"""


def image(art):
    rows = [r for r in art.strip("\n").split("\n")]
    size = len(rows)
    assert all(len(r) == size for r in rows), "every map is square"
    stride_xor = (size // 2 + 3) & ~3     # 4 bits a pixel, rows padded to 4 bytes
    stride_and = ((size + 31) // 32) * 4  # 1 bit a pixel
    xor = bytearray()
    mask = bytearray()
    for r in reversed(rows):              # bottom-up
        line = bytearray(stride_xor)
        bits = bytearray(stride_and)
        for x, ch in enumerate(r):
            if ch == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
                index = 0
            else:
                index = INK[ch]
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return size, header + palette + bytes(xor) + bytes(mask)


def main():
    images = [image(ICON_32), image(ICON_16)]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
