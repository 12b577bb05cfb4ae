#!/usr/bin/env python3
"""Draws the pictures of both updaters. vuq: the side picture of every page
(bitmap 148, 157 x 308 pixels, 24-bit) and the application icon (icon 128: 16,
32 and 48 pixels, 32-bit with alpha). vuq-legacy: its own application icon
(icon 128, same sizes) and the two handset screens of its step pages (bitmaps
135 and 136, 150 x 230 pixels, 24-bit): the USB-downloader screen and the
screen while the handset receives data. Pure Python, no drawing library:
shapes are sampled 4 x 4 times per pixel.

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


# A 5 x 7 pixel font for the words on the handset screens: one string per row,
# '#' lit.
GLYPHS = {
    "A": (".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"),
    "B": ("####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."),
    "C": (".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."),
    "D": ("####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."),
    "E": ("#####", "#....", "#....", "####.", "#....", "#....", "#####"),
    "G": (".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"),
    "I": (".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."),
    "L": ("#....", "#....", "#....", "#....", "#....", "#....", "#####"),
    "N": ("#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"),
    "O": (".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."),
    "R": ("####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"),
    "S": (".####", "#....", "#....", ".###.", "....#", "....#", "####."),
    "T": ("#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."),
    "U": ("#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."),
    "V": ("#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."),
    "W": ("#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"),
    "Y": ("#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."),
    ".": (".....", ".....", ".....", ".....", ".....", ".##..", ".##.."),
    " ": (".....",) * 7,
}


def text_width(text, scale):
    return (len(text) * 6 - 1) * scale


def draw_text(canvas, text, cx, top, scale, colour):
    """Draws text in the pixel font, centred on cx, each font pixel scale x scale."""
    left = round(cx - text_width(text, scale) / 2)
    for i, char in enumerate(text):
        for row, bits in enumerate(GLYPHS[char]):
            for col, bit in enumerate(bits):
                if bit == "#":
                    x = left + (i * 6 + col) * scale
                    y = top + row * scale
                    canvas.shape(lambda px, py: True, colour, (x, y, x + scale - 1, y + scale - 1))


def draw_pda(canvas, left, top, width, height):
    """A pocket handset seen from the front; returns its screen (left, top, right, bottom)."""
    right, bottom = left + width, top + height
    canvas.shape(lambda x, y: inside_round_rect(x, y, left, top, right, bottom, 16), (62, 66, 74),
                 (left, top, right, bottom))
    canvas.shape(lambda x, y: inside_round_rect(x, y, left + 3, top + 3, right - 3, bottom - 3, 13), (176, 182, 192),
                 (left + 3, top + 3, right - 3, bottom - 3))
    # The earpiece slot and the bezel around the screen.
    canvas.shape(lambda x, y: inside_round_rect(x, y, left + width / 2 - 14, top + 10, left + width / 2 + 14, top + 14, 2),
                 (70, 74, 82), (left + width / 2 - 14, top + 10, left + width / 2 + 14, top + 14))
    b_left, b_top, b_right, b_bottom = left + 10, top + 22, right - 10, top + height * 0.72
    canvas.shape(lambda x, y: inside_round_rect(x, y, b_left, b_top, b_right, b_bottom, 5), (40, 42, 48),
                 (b_left, b_top, b_right, b_bottom))
    screen = (b_left + 5, b_top + 5, b_right - 5, b_bottom - 5)
    # The navigation pad and four keys.
    pad_cx, pad_cy = left + width / 2, top + height * 0.85
    canvas.shape(lambda x, y: (x - pad_cx) ** 2 + (y - pad_cy) ** 2 <= 15 ** 2, (90, 96, 106),
                 (pad_cx - 16, pad_cy - 16, pad_cx + 16, pad_cy + 16))
    canvas.shape(lambda x, y: (x - pad_cx) ** 2 + (y - pad_cy) ** 2 <= 7 ** 2, (150, 156, 166),
                 (pad_cx - 8, pad_cy - 8, pad_cx + 8, pad_cy + 8))
    for kx in (left + 20, left + 38, right - 38, right - 20):
        ky = pad_cy + (6 if kx in (left + 38, right - 38) else -2)
        canvas.shape(lambda x, y, kx=kx, ky=ky: (x - kx) ** 2 + (y - ky) ** 2 <= 6 ** 2, (90, 96, 106),
                     (kx - 7, ky - 7, kx + 7, ky + 7))
    return screen


def draw_usb_symbol(canvas, cx, top, size, colour):
    """The USB trident: a stem, a circle at its foot, a round and a square arm."""
    stem = size * 0.07
    bottom = top + size
    canvas.shape(lambda x, y: cx - stem <= x < cx + stem and top + size * 0.18 <= y < bottom - size * 0.1, colour,
                 (cx - stem, top, cx + stem, bottom))
    head = size * 0.16
    canvas.shape(lambda x, y: inside_triangle(x, y, (cx, top), (cx - head, top + size * 0.22), (cx + head, top + size * 0.22)),
                 colour, (cx - head, top, cx + head, top + size * 0.22))
    foot_r = size * 0.11
    canvas.shape(lambda x, y: (x - cx) ** 2 + (y - (bottom - foot_r)) ** 2 <= foot_r ** 2, colour,
                 (cx - foot_r, bottom - 2 * foot_r, cx + foot_r, bottom))
    arm_w = size * 0.3
    # The left arm ends in a circle, the right one in a square; both slant up to the stem.
    for side, y_join, y_end in ((-1, 0.62, 0.40), (1, 0.50, 0.30)):
        x_end = cx + side * arm_w
        y0, y1 = top + size * y_join, top + size * y_end
        t = stem * 0.9

        def arm(x, y, x_end=x_end, y0=y0, y1=y1, t=t):
            lo, hi = min(cx, x_end), max(cx, x_end)
            if x < lo or x > hi:
                return False
            f = (x - cx) / (x_end - cx)
            yc = y0 + (y1 - y0) * min(1.0, f * 1.6) if f < 0.62 else y1
            return abs(y - yc) <= t
        canvas.shape(arm, colour, (min(cx, x_end) - 1, top, max(cx, x_end) + 1, bottom))
        end = size * 0.09
        if side < 0:
            canvas.shape(lambda x, y, x_end=x_end, y1=y1: (x - x_end) ** 2 + (y - y1) ** 2 <= end ** 2, colour,
                         (x_end - end, y1 - end, x_end + end, y1 + end))
        else:
            canvas.shape(lambda x, y, x_end=x_end, y1=y1: abs(x - x_end) <= end and abs(y - y1) <= end, colour,
                         (x_end - end, y1 - end, x_end + end, y1 + end))


LEGACY_FIGURE = (150, 230)
LEGACY_BACKGROUND = (255, 255, 255)


def legacy_downloader_screen():
    """Bitmap 135: the handset in its USB-downloader mode."""
    width, height = LEGACY_FIGURE
    canvas = Canvas(width, height)
    canvas.shade(lambda x, y: LEGACY_BACKGROUND)
    s_left, s_top, s_right, s_bottom = draw_pda(canvas, 15, 4, 120, 222)
    canvas.shape(lambda x, y: True, (16, 32, 120), (s_left, s_top, s_right - 1, s_bottom - 1))
    cx = (s_left + s_right) / 2
    canvas.shape(lambda x, y: True, (230, 230, 240), (s_left, s_top, s_right - 1, s_top + 14))
    draw_text(canvas, "USB", cx, s_top + 4, 1, (16, 32, 120))
    draw_usb_symbol(canvas, cx, s_top + 26, 44, (255, 255, 255))
    draw_text(canvas, "DOWNLOADER", cx, s_top + 80, 1, (255, 255, 255))
    draw_text(canvas, "READY", cx, s_bottom - 16, 1, (250, 200, 60))
    return canvas


def legacy_receiving_screen():
    """Bitmap 136: the handset receiving data, a progress bar on its screen."""
    width, height = LEGACY_FIGURE
    canvas = Canvas(width, height)
    canvas.shade(lambda x, y: LEGACY_BACKGROUND)
    s_left, s_top, s_right, s_bottom = draw_pda(canvas, 15, 4, 120, 222)
    canvas.shape(lambda x, y: True, (16, 32, 120), (s_left, s_top, s_right - 1, s_bottom - 1))
    cx = (s_left + s_right) / 2
    canvas.shape(lambda x, y: True, (230, 230, 240), (s_left, s_top, s_right - 1, s_top + 14))
    draw_text(canvas, "USB", cx, s_top + 4, 1, (16, 32, 120))
    draw_text(canvas, "RECEIVING", cx, s_top + 30, 1, (255, 255, 255))
    draw_text(canvas, "DATA", cx, s_top + 42, 1, (255, 255, 255))
    # The progress bar: a frame, a filled part and the rest.
    b_left, b_right, b_top = s_left + 8, s_right - 8, s_top + 64
    canvas.shape(lambda x, y: True, (255, 255, 255), (b_left, b_top, b_right - 1, b_top + 13))
    canvas.shape(lambda x, y: True, (16, 32, 120), (b_left + 1, b_top + 1, b_right - 2, b_top + 12))
    filled = b_left + 2 + (b_right - b_left - 4) * 0.6
    canvas.shape(lambda x, y: True, (60, 200, 90), (b_left + 2, b_top + 2, filled - 1, b_top + 11))
    # Data arriving: a row of dots under the bar.
    for i in range(5):
        dx = cx - 24 + i * 12
        r = 1.5 + i * 0.4
        canvas.shape(lambda x, y, dx=dx, r=r: (x - dx) ** 2 + (y - (b_top + 34)) ** 2 <= r * r, (250, 200, 60),
                     (dx - 4, b_top + 30, dx + 4, b_top + 38))
    draw_text(canvas, "WAIT", cx, s_bottom - 16, 1, (250, 200, 60))
    return canvas


def legacy_icon_image(size):
    """The legacy updater's icon: a handset with a progress bar on a green square."""
    canvas = Canvas(size, size)
    pad = size * 0.04
    canvas.shape(lambda x, y: inside_round_rect(x, y, pad, pad, size - pad, size - pad, size * 0.2), (24, 104, 60))
    canvas.shape(lambda x, y: inside_round_rect(x, y, pad, pad, size - pad, size - pad, size * 0.2) and y > size * 0.55,
                 (70, 160, 80), None, 0.6)
    h_left, h_right = size * 0.27, size * 0.73
    h_top, h_bottom = size * 0.12, size * 0.88
    canvas.shape(lambda x, y: inside_round_rect(x, y, h_left, h_top, h_right, h_bottom, size * 0.07), (236, 240, 236))
    s_left, s_right = h_left + size * 0.06, h_right - size * 0.06
    s_top, s_bottom = h_top + size * 0.08, h_top + size * 0.52
    canvas.shape(lambda x, y: s_left <= x < s_right and s_top <= y < s_bottom, (16, 32, 120))
    # The bar on the screen, two thirds filled.
    bar_top, bar_bottom = s_top + (s_bottom - s_top) * 0.4, s_top + (s_bottom - s_top) * 0.65
    canvas.shape(lambda x, y: s_left + size * 0.03 <= x < s_left + (s_right - s_left) * 0.7 and bar_top <= y < bar_bottom,
                 (250, 200, 60))
    # The navigation pad below the screen.
    pad_cx, pad_cy, pad_r = size / 2, h_top + size * 0.64, size * 0.07
    canvas.shape(lambda x, y: (x - pad_cx) ** 2 + (y - pad_cy) ** 2 <= pad_r ** 2, (24, 104, 60))
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
    with open(os.path.join(out_dir, "legacy-app.ico"), "wb") as f:
        f.write(ico([legacy_icon_image(s) for s in (16, 32, 48)]))
    with open(os.path.join(out_dir, "legacy-figure1.bmp"), "wb") as f:
        f.write(bmp_24(legacy_downloader_screen()))
    with open(os.path.join(out_dir, "legacy-figure2.bmp"), "wb") as f:
        f.write(bmp_24(legacy_receiving_screen()))


if __name__ == "__main__":
    main()
