#!/usr/bin/env python3
"""Draws the updater's pictures: the side picture of every page (bitmap 148,
157 x 308 pixels, 24-bit) and the application icon (icon 128: 16, 32 and 48
pixels, 32-bit with alpha). Pure Python, no drawing library: shapes are
sampled 4 x 4 times per pixel.

    tools/make-artwork.py [OUT_DIR]     (default: res/art)

The outputs are committed; run this again after changing a picture.
"""
import os
import struct
import sys

SAMPLES = 4


def mix(c1, c2, t):
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def inside_round_rect(x, y, left, top, right, bottom, radius):
    if x < left or x >= right or y < top or y >= bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


class Canvas:
    """RGBA floats, top row first."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [[list(fill) for _ in range(width)] for _ in range(height)]

    def shade(self, colour_at):
        for y in range(self.height):
            for x in range(self.width):
                r, g, b = colour_at(x, y)
                self.pixels[y][x] = [r, g, b, 255.0]

    def shape(self, test, colour, box=None, alpha=1.0):
        """Paints colour (RGB) where test(x, y) holds, with coverage from sub-samples."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.width, int(x1) + 1), min(self.height, int(y1) + 1)
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if test(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES):
                            hits += 1
                if hits:
                    cover = alpha * hits / (SAMPLES * SAMPLES)
                    dst = self.pixels[py][px]
                    out_a = cover + dst[3] / 255.0 * (1 - cover)
                    for i in range(3):
                        src = colour[i] * cover
                        below = dst[i] * dst[3] / 255.0 * (1 - cover)
                        dst[i] = (src + below) / out_a if out_a else 0.0
                    dst[3] = out_a * 255.0


def draw_handset(canvas, cx, top, width, height, body, screen, arrow):
    """A handset seen from the front, with an arrow pointing down into its screen."""
    left, right = cx - width / 2, cx + width / 2
    bottom = top + height
    radius = width * 0.16
    canvas.shape(lambda x, y: inside_round_rect(x, y, left, top, right, bottom, radius), body,
                 (left, top, right, bottom))
    margin = width * 0.12
    s_left, s_right = left + margin, right - margin
    s_top, s_bottom = top + height * 0.14, top + height * 0.70
    canvas.shape(lambda x, y: inside_round_rect(x, y, s_left, s_top, s_right, s_bottom, width * 0.04), screen,
                 (s_left, s_top, s_right, s_bottom))
    # The arrow: a shaft and a head, inside the screen.
    shaft_w = width * 0.12
    a_top, a_mid, a_tip = s_top + height * 0.07, s_top + (s_bottom - s_top) * 0.55, s_bottom - height * 0.07
    canvas.shape(lambda x, y: cx - shaft_w / 2 <= x < cx + shaft_w / 2 and a_top <= y < a_mid + 1, arrow,
                 (cx - shaft_w, a_top, cx + shaft_w, a_mid + 1))
    head_w = width * 0.26
    canvas.shape(lambda x, y: inside_triangle(x, y, (cx - head_w, a_mid), (cx + head_w, a_mid), (cx, a_tip)),
                 arrow, (cx - head_w, a_mid, cx + head_w, a_tip))
    # Keys below the screen.
    key_r = width * 0.07
    for kx in (cx - width * 0.22, cx, cx + width * 0.22):
        ky = top + height * 0.83
        canvas.shape(lambda x, y, kx=kx, ky=ky: (x - kx) ** 2 + (y - ky) ** 2 <= key_r ** 2, screen,
                     (kx - key_r, ky - key_r, kx + key_r, ky + key_r))


def side_picture():
    width, height = 157, 308
    canvas = Canvas(width, height)
    top_colour, bottom_colour = (14, 52, 120), (22, 150, 160)
    canvas.shade(lambda x, y: mix(top_colour, bottom_colour, (y / (height - 1)) ** 1.2))
    # Soft rings behind the handset.
    for ring, alpha in ((70, 0.10), (56, 0.10), (42, 0.12)):
        canvas.shape(lambda x, y, r=ring: (x - 78.5) ** 2 + (y - 120) ** 2 <= r * r, (255, 255, 255),
                     (78.5 - ring, 120 - ring, 78.5 + ring, 120 + ring), alpha)
    draw_handset(canvas, 78.5, 62, 66, 118, (236, 242, 248), (20, 60, 110), (250, 170, 60))
    # A row of dots: data on its way.
    for i in range(5):
        dy = 208 + i * 14
        r = 3.2 - i * 0.4
        canvas.shape(lambda x, y, dy=dy, r=r: (x - 78.5) ** 2 + (y - dy) ** 2 <= r * r, (250, 170, 60),
                     (74, dy - 4, 83, dy + 4))
    # A thin light line near the foot.
    canvas.shape(lambda x, y: 20 <= x < 137 and 286 <= y < 287.5, (255, 255, 255), (20, 286, 137, 288), 0.5)
    return canvas


def icon_image(size):
    canvas = Canvas(size, size)
    pad = size * 0.04
    canvas.shape(lambda x, y: inside_round_rect(x, y, pad, pad, size - pad, size - pad, size * 0.2), (18, 90, 150))
    # A lighter lower half gives the square some depth.
    canvas.shape(lambda x, y: inside_round_rect(x, y, pad, pad, size - pad, size - pad, size * 0.2) and y > size * 0.55,
                 (22, 150, 160), None, 0.6)
    draw_handset(canvas, size / 2, size * 0.14, size * 0.46, size * 0.74, (240, 245, 250), (20, 60, 110),
                 (250, 170, 60))
    return canvas


def bmp_24(canvas):
    """A 24-bit bottom-up BMP file (rows padded to 4 bytes)."""
    row_size = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b, _ = canvas.pixels[y][x]
            row += bytes((round(b), round(g), round(r)))
        row += b"\0" * (row_size - len(row))
        data += row
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + data


def icon_entry(canvas):
    """One icon image: 32-bit BGRA bottom-up plus its 1-bit AND mask."""
    size = canvas.width
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = canvas.pixels[y][x]
            xor += bytes((round(b), round(g), round(r), round(a)))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(size):
            if canvas.pixels[y][x][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico(canvases):
    entries = [icon_entry(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for canvas, entry in zip(canvases, entries):
        out += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256, 0, 0, 1, 32, len(entry), offset)
        offset += len(entry)
    for entry in entries:
        out += entry
    return bytes(out)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "res", "art")
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "vuq-side.bmp"), "wb") as f:
        f.write(bmp_24(side_picture()))
    with open(os.path.join(out_dir, "vuq.ico"), "wb") as f:
        f.write(ico([icon_image(s) for s in (16, 32, 48)]))


if __name__ == "__main__":
    main()
