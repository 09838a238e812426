#!/usr/bin/python3
"""Draws the tree and message-list icons of the desktop program into
src/res/res (standard library only). Run again after changing a shape.

usage: make-icons.py [OUTPUT_FOLDER]
"""
import math
import os
import struct
import sys
import zlib

SIZE = 36
SS = 4  # supersampling per axis


def png(path, pixels, w, h):
    raw = b''.join(b'\x00' + bytes(sum((pixels[y * w + x] for x in range(w)), ()))
                   for y in range(h))

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        f.write(chunk(b'IEND', b''))


def render(shapes):
    """shapes: list of (inside(x, y) -> bool, (r, g, b)) painted in order."""
    out = []
    for py in range(SIZE):
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    y = py + (sy + 0.5) / SS
                    colour = None
                    for inside, c in shapes:
                        if inside(x, y):
                            colour = c
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = acc[3]
            if n == 0:
                out.append((0, 0, 0, 0))
            else:
                out.append((int(acc[0] / n), int(acc[1] / n), int(acc[2] / n),
                            int(255 * n / (SS * SS))))
    return out


def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


DARK = (40, 44, 52)
SCREEN = (120, 170, 235)
GREEN = (120, 190, 60)
BLUE = (60, 130, 210)
GREY = (150, 156, 166)
WHITE = (255, 255, 255)
DB = (70, 110, 170)
DB_TOP = (120, 160, 215)


def phone(x0, y0, w, h):
    return [(rrect(x0, y0, x0 + w, y0 + h, 3), DARK),
            (rrect(x0 + 2, y0 + 4, x0 + w - 2, y0 + h - 5, 1), SCREEN),
            (circle(x0 + w / 2, y0 + h - 2.5, 1.2), GREY)]


def cylinder(cx, top, bottom, rx, ry):
    body = lambda x, y: abs(x - cx) <= rx and top <= y <= bottom
    return [(body, DB), (ellipse(cx, bottom, rx, ry), DB),
            (ellipse(cx, top, rx, ry), DB_TOP)]


def person(cx, cy, scale, colour):
    return [(circle(cx, cy - 6 * scale, 5 * scale), colour),
            (ellipse(cx, cy + 9 * scale, 9 * scale, 7 * scale), colour)]


def bubble(colour, tail_left):
    shapes = [(rrect(3, 6, 33, 26, 7), colour)]
    if tail_left:
        shapes.append((polygon([(7, 22), (5, 32), (16, 25)]), colour))
    else:
        shapes.append((polygon([(29, 22), (31, 32), (20, 25)]), colour))
    for i, cx in enumerate((11, 18, 25)):
        shapes.append((circle(cx, 16, 2), WHITE))
    return shapes


ICONS = {
    'devices.png': phone(4, 4, 15, 27) + phone(17, 8, 15, 27),
    'iphone.png': None,  # kept as it is
    'android.png': [
        (ellipse(18, 14, 10, 8), GREEN),
        (lambda x, y: 8 <= x <= 28 and 14 <= y <= 29, (255, 255, 255)),
        (rrect(8, 16, 28, 30, 3), GREEN),
        (circle(14, 10, 1.3), WHITE), (circle(22, 10, 1.3), WHITE),
        (rrect(3, 16, 6.5, 27, 1.7), GREEN), (rrect(29.5, 16, 33, 27, 1.7), GREEN),
        (rrect(12, 28, 15.5, 34, 1.7), GREEN), (rrect(20.5, 28, 24, 34, 1.7), GREEN),
        (polygon([(12, 4), (13, 3.5), (15.5, 7.5), (14.5, 8)]), GREEN),
        (polygon([(24, 4), (23, 3.5), (20.5, 7.5), (21.5, 8)]), GREEN),
    ],
    'database.png': cylinder(18, 8, 28, 12, 5) + [
        (lambda x, y: abs(x - 18) <= 12 and abs(y - 18) < 0.6, DB_TOP)],
    'databases.png': cylinder(13, 10, 28, 9, 4) + cylinder(23, 6, 24, 9, 4),
    'contact.png': person(18, 16, 1.2, GREY),
    'group.png': person(12, 16, 0.9, (120, 140, 170)) + person(24, 16, 1.0, BLUE),
    'icon_sms-sent.png': bubble(GREEN, False),
    'icon_sms-receive.png': bubble(BLUE, True),
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'src', 'res', 'res')
    for name, shapes in ICONS.items():
        if shapes is None:
            continue
        png(os.path.join(out, name), render(shapes), SIZE, SIZE)


if __name__ == '__main__':
    main()
