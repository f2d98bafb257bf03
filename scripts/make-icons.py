#!/usr/bin/env python3
"""Draws the updater's icons and writes them as 32x32 .ico files.

vorn16.ico  (16 colours)  the program file's icon (group 1001)
vorn256.ico (256 colours) the main product line's dialogs (group 1002)
talvik16.ico (16 colours) the other product line's dialog (group 1004)

The picture: a rounded tile with a downward arrow into a tray, the sign of an
update. Run it again after changing the drawing; the .ico files are committed.
"""
import os
import struct
import sys

SIZE = 32

# The standard 16-colour palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def inside_tile(x, y):
    """A 30x30 tile with corners rounded by 5 pixels."""
    if x < 1 or y < 1 or x > 30 or y > 30:
        return False
    r = 5
    for cx, cy in ((1 + r, 1 + r), (30 - r, 1 + r), (1 + r, 30 - r), (30 - r, 30 - r)):
        if (x < 1 + r or x > 30 - r) and (y < 1 + r or y > 30 - r):
            if abs(x - cx) <= r and abs(y - cy) <= r and (x - cx) ** 2 + (y - cy) ** 2 > r * r:
                return False
    return True


def shape(x, y):
    """'arrow', 'tray', 'edge', 'tile' or None (transparent)."""
    if not inside_tile(x, y):
        return None
    if not inside_tile(x - 1, y) or not inside_tile(x + 1, y) or not inside_tile(x, y - 1) or not inside_tile(x, y + 1):
        return 'edge'
    # Arrow: a shaft from row 6 to 15, a head from row 15 to 22.
    if 13 <= x <= 18 and 6 <= y <= 15:
        return 'arrow'
    if 15 <= y <= 22 and abs(x - 15.5) <= 22 - y:
        return 'arrow'
    # Tray: a U from row 19 to 25.
    if 23 <= y <= 25 and 7 <= x <= 24:
        return 'tray'
    if 19 <= y <= 25 and (7 <= x <= 9 or 22 <= x <= 24):
        return 'tray'
    return 'tile'


def draw16(tile, edge):
    """Pixel rows (top first) as palette indices of the 16 colours."""
    colours = {'arrow': 15, 'tray': 11, 'edge': edge, 'tile': tile, None: 0}
    return [[colours[shape(x, y)] for x in range(SIZE)] for y in range(SIZE)]


def draw256():
    """A blue tile shaded from top to bottom, white arrow, gold tray."""
    palette = [(0, 0, 0)] * 256
    for i in range(64):  # 0..63: the tile's shades
        palette[i] = (20 + i // 2, 60 + i, 120 + 2 * i)
    palette[64] = (255, 255, 255)
    palette[65] = (240, 190, 40)
    palette[66] = (10, 30, 80)
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            s = shape(x, y)
            row.append({'arrow': 64, 'tray': 65, 'edge': 66, None: 0}.get(s, 63 - 2 * y if s == 'tile' else 0))
        rows.append(row)
    return palette, rows


def ico(palette, rows, bits):
    colours = len(palette)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, bits, 0, 0, 0, 0, colours, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in palette)
    xor = b''
    for row in reversed(rows):
        if bits == 4:
            line = bytes((row[i] << 4) | row[i + 1] for i in range(0, SIZE, 2))
        else:
            line = bytes(row)
        xor += line + b'\0' * ((-len(line)) % 4)
    mask = b''
    for y in reversed(range(SIZE)):
        value = 0
        for x in range(SIZE):
            value = (value << 1) | (1 if shape(x, y) is None else 0)
        mask += struct.pack('>I', value)
    image = header + pal + xor + mask
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16 if bits == 4 else 0, 0, 1, bits, len(image), 6 + 16)
    return struct.pack('<HHH', 0, 1, 1) + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'updater', 'icons')
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, 'vorn16.ico'), 'wb') as f:
        f.write(ico(VGA, draw16(tile=4, edge=0), 4))
    palette, rows = draw256()
    with open(os.path.join(out, 'vorn256.ico'), 'wb') as f:
        f.write(ico(palette, rows, 8))
    with open(os.path.join(out, 'talvik16.ico'), 'wb') as f:
        f.write(ico(VGA, draw16(tile=2, edge=0), 4))


if __name__ == '__main__':
    main()
