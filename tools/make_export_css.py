#!/usr/bin/env python3
"""Draws the pictures of the HTML export's chat view and writes its style
sheet: resources/qrc/bb1.png (the left bubble, 40x30, its tail on the left),
bb2.png (the right bubble, 40x30, its tail on the right), round.png (the time
pill, 16x19) and conversations.css, which carries the three pictures as
base64 data URLs so that an exported page needs no other file. RGBA with 4x4
supersampling for smooth edges."""
import base64
import os
import struct
import sys
import zlib

SS = 4


def png(width, height, pixel):
    """pixel(x, y) -> (r, g, b, a) for the pixel's centre sample grid."""
    rows = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            row += bytes(pixel(x, y))
        rows.append(bytes(row))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def in_round_rect(px, py, x0, y0, x1, y1, r):
    if px < x0 or px > x1 or py < y0 or py > y1:
        return False
    cx = min(max(px, x0 + r), x1 - r)
    cy = min(max(py, y0 + r), y1 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def in_triangle(px, py, a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])
    d1, d2, d3 = side((px, py), a, b), side((px, py), b, c), side((px, py), c, a)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def shape(inside, colour):
    def pixel(x, y):
        hits = sum(inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS) for sy in range(SS) for sx in range(SS))
        return list(colour) + [round(255 * hits / (SS * SS))]
    return pixel


def bubble(tail_left, colour):
    w, h = 40, 30

    def inside(px, py):
        if not tail_left:
            px = w - px
        return in_round_rect(px, py, 7, 0, w, h, 7) or in_triangle(px, py, (0.5, 7), (8, 4), (8, 15))
    return png(w, h, shape(inside, colour))


def data_url(image):
    return 'url("data:image/png;base64,%s")' % base64.b64encode(image).decode("ascii")


CSS = """* {
    font-family: Arial;
    font-size: 12pt;
    color: #333333;
}

p {
    margin: 5px 0 5px 0;
}

a {
    text-decoration: none;
}

.column {
    display: flex;
    flex-direction: column;
}

.row-left {
    display: flex;
    flex-direction: row;
}

.row-center {
    display: flex;
    flex-direction: row;
    justify-content: center;
}

.row-right {
    display: flex;
    flex-direction: row-reverse;
}

.bb1 {
    padding: 10px 11px 10px 25px;
    border-image-source: %(bb1)s;
    border-image-slice: 19 8 8 22 fill;
    border-image-width: 19px 8px 8px 22px;
    border-image-repeat: stretch;
    max-width: 80%%;
    margin: 5px 0 5px 0;
}

.bb2 {
    padding: 10px 25px 10px 12px;
    border-image-source: %(bb2)s;
    border-image-slice: 19 19 8 6 fill;
    border-image-width: 19px 19px 8px 6px;
    border-image-repeat: stretch;
    max-width: 80%%;
    margin: 5px 0 5px 0;
}

.round {
    padding: 5px 7px 7px 7px;
    border-image-source: %(round)s;
    border-image-slice: 5 7 7 7 fill;
    border-image-width: 5px 7px 7px 7px;
    border-image-repeat: stretch;
    color: #586770;
    margin: 10px 0 0 0;
}
"""


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources", "qrc")
    images = {
        "bb1": bubble(True, (0xEE, 0xF0, 0xF3)),
        "bb2": bubble(False, (0xD4, 0xE8, 0xFF)),
        "round": png(16, 19, shape(lambda px, py: in_round_rect(px, py, 0, 0, 16, 19, 5), (0xE4, 0xE8, 0xEC))),
    }
    for name, image in images.items():
        with open(os.path.join(out, name + ".png"), "wb") as f:
            f.write(image)
    with open(os.path.join(out, "conversations.css"), "w", encoding="ascii", newline="\n") as f:
        f.write(CSS % {name: data_url(image) for name, image in images.items()})


if __name__ == "__main__":
    main()
