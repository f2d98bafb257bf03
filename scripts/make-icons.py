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


# The picture lies in the middle 26x26 pixels. The dialogs show the icon
# centred in a control of 18x20 dialog units, 27 pixels wide with the dialog
# font, so the outer three columns on each side must be transparent.
LOW, HIGH = 3, 28


def inside_tile(x, y):
    """A 26x26 tile with corners rounded by 4 pixels."""
    if x < LOW or y < LOW or x > HIGH or y > HIGH:
        return False
    r = 4
    for cx, cy in ((LOW + r, LOW + r), (HIGH - r, LOW + r), (LOW + r, HIGH - r), (HIGH - r, HIGH - r)):
        if (x < LOW + r or x > HIGH - r) and (y < LOW + r or y > HIGH - r):
            if abs(x - cx) <= r and abs(y - cy) <= r and (x - cx) ** 2 + (y - cy) ** 2 > r * r:
                return False
    return True


def shape(x, y):
    """'arrow', 'tray', 'edge', 'tile' or None (transparent)."""
    if not inside_tile(x, y):
        return None
    if not inside_tile(x - 1, y) or not inside_tile(x + 1, y) or not inside_tile(x, y - 1) or not inside_tile(x, y + 1):
        return 'edge'
    # Arrow: a shaft from row 7 to 14, a head from row 14 to 19.
    if 14 <= x <= 17 and 7 <= y <= 14:
        return 'arrow'
    if 14 <= y <= 19 and abs(x - 15.5) <= 20 - y:
        return 'arrow'
    # Tray: a U from row 18 to 24.
    if 22 <= y <= 24 and 8 <= x <= 23:
        return 'tray'
    if 18 <= y <= 24 and (8 <= x <= 10 or 21 <= x <= 23):
        return 'tray'
    return 'tile'


def draw16(tile, edge):
    """Pixel rows (top first) as palette indices of the 16 colours; the
    transparent pixels take index 0, black, as the mask requires."""
    colours = {'arrow': 15, 'tray': 11, 'edge': edge, 'tile': tile, None: 0}
    return [[colours[shape(x, y)] for x in range(SIZE)] for y in range(SIZE)]


def draw256():
    """A blue tile shaded from top to bottom, white arrow, gold tray.

    Index 0 stays black: it is the colour of the transparent pixels, which
    the screen shows through only when their colour is black."""
    palette = [(0, 0, 0)] * 256
    for i in range(64):  # 1..64: the tile's shades, dark to light
        palette[1 + i] = (20 + i // 2, 60 + i, 120 + 2 * i)
    palette[65] = (255, 255, 255)
    palette[66] = (240, 190, 40)
    palette[67] = (10, 30, 80)
    shades = {y: 64 - 2 * (y - LOW) for y in range(SIZE)}  # light at the top
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            s = shape(x, y)
            row.append({'arrow': 65, 'tray': 66, 'edge': 67, 'tile': shades[y], None: 0}[s])
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
