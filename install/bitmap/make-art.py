#!/usr/bin/env python3
"""Draws Velloran's artwork: toolbar icons, pedal test pictures, mute and
compact-mode switches, the splash picture and the application icon, also in the icon theme's
sizes and as a scalable picture (install/icons/).

Only the standard library is used, so anyone can regenerate the pictures:

    python3 install/bitmap/make-art.py

The build does not run this script; the generated files are committed.

Shapes are drawn as signed distance fields and anti-aliased by coverage, which
keeps flat icons crisp at 24 px without supersampling. The pictures that the
player looks up by their historical names (pedal*.bmp, wavebalance*.bmp,
zoom*.bmp) are written as 32-bit BMP files with an alpha channel, and each has
a PNG twin of the same name.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Palette: flat colours, one ink for the glyphs and a few accents.
INK = (46, 58, 70)
INK_SOFT = (120, 132, 144)
GREEN = (46, 158, 91)
RED = (205, 62, 56)
AMBER_DARK = (204, 138, 28)
AMBER = (242, 182, 64)
BLUE = (58, 123, 213)
WHITE = (255, 255, 255)


# ---------------------------------------------------------------- distance fields


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_segment(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy or 1e-9

    def f(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r

    return f


def sd_arc(cx, cy, radius, a0, a1, r):
    """Stroke of half-width r along a circle, from angle a0 to a1 (degrees,
    screen convention: 0 = right, 90 = down, increasing clockwise)."""
    span = a1 - a0
    e0 = (cx + radius * math.cos(math.radians(a0)), cy + radius * math.sin(math.radians(a0)))
    e1 = (cx + radius * math.cos(math.radians(a1)), cy + radius * math.sin(math.radians(a1)))

    def f(x, y):
        dist = math.hypot(x - cx, y - cy)
        if span >= 360:
            return abs(dist - radius) - r
        t = (math.degrees(math.atan2(y - cy, x - cx)) - a0) % 360.0
        if t <= span:
            return abs(dist - radius) - r
        return min(math.hypot(x - e0[0], y - e0[1]), math.hypot(x - e1[0], y - e1[1])) - r

    return f


def sd_box(x0, y0, x1, y1, rad=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - rad, (y1 - y0) / 2 - rad

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - rad

    return f


def sd_polygon(pts, rad=0.0):
    """Exact distance to a simple polygon; rad > 0 rounds its corners."""
    n = len(pts)

    def f(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            ll = ex * ex + ey * ey or 1e-9
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / ll))
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return (-d if inside else d) - rad

    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


# ---------------------------------------------------------------- canvas


class Canvas:
    """RGBA canvas with premultiplied floating-point pixels."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]

    def fill(self, sdf, color, alpha=1.0, bbox=None, soft=1.0):
        """Paints the inside of sdf. color is an (r, g, b) tuple or a function
        of (x, y) giving one; bbox limits the work to the shape's extent."""
        x0, y0, x1, y1 = bbox or (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 2), min(self.h, int(math.ceil(y1)) + 2)
        for y in range(y0, y1):
            row = y * self.w
            for x in range(x0, x1):
                cx, cy = x + 0.5, y + 0.5
                cov = 0.5 - sdf(cx, cy) / soft
                if cov <= 0.0:
                    continue
                a = alpha * min(cov, 1.0)
                c = color(cx, cy) if callable(color) else color
                p = self.px[row + x]
                for i in range(3):
                    p[i] = c[i] / 255.0 * a + p[i] * (1.0 - a)
                p[3] = a + p[3] * (1.0 - a)

    def rgba_rows(self):
        """Straight-alpha 8-bit rows, top to bottom."""
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                row += bytes(int(round(max(0.0, min(1.0, v)) * 255)) for v in (r, g, b, a))
            rows.append(bytes(row))
        return rows

    def save_png(self, path):
        raw = b"".join(b"\x00" + row for row in self.rgba_rows())

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(raw, 9))
        png += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)

    def save_bmp(self, path):
        """32-bit BMP with a BITMAPV4HEADER, so the alpha channel survives."""
        pixels = bytearray()
        for row in reversed(self.rgba_rows()):
            for x in range(self.w):
                r, g, b, a = row[4 * x : 4 * x + 4]
                pixels += bytes((b, g, r, a))
        header_size = 14 + 108
        info = struct.pack(
            "<IiiHHIIiiII", 108, self.w, self.h, 1, 32, 3, len(pixels), 3780, 3780, 0, 0
        )
        info += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
        info += b"BGRs" + b"\x00" * 36 + struct.pack("<III", 0, 0, 0)
        head = b"BM" + struct.pack("<IHHI", header_size + len(pixels), 0, 0, header_size)
        with open(path, "wb") as f:
            f.write(head + info + pixels)


def save(canvas, name, bmp=False):
    base = os.path.join(HERE, name)
    canvas.save_png(base + ".png")
    if bmp:
        canvas.save_bmp(base + ".bmp")


# ---------------------------------------------------------------- toolbar icons
# Each icon is drawn in a 24-unit design square; s scales it (1 = 24 px, 2 = 48 px).


def icon_open(c, s):
    back = [(3, 5.5), (9, 5.5), (11, 7.5), (20, 7.5), (20, 18.5), (3, 18.5)]
    front = [(3, 18.5), (6, 10.5), (22.5, 10.5), (19.5, 18.5)]
    c.fill(sd_polygon([(x * s, y * s) for x, y in back], 0.8 * s), AMBER_DARK)
    c.fill(sd_polygon([(x * s, y * s) for x, y in front], 0.8 * s), AMBER)


def icon_play(c, s):
    c.fill(sd_polygon([(8 * s, 5.5 * s), (18.5 * s, 12 * s), (8 * s, 18.5 * s)], 1.2 * s), GREEN)


def icon_pause(c, s):
    c.fill(sd_box(6.5 * s, 5 * s, 10.5 * s, 19 * s, 1 * s), INK)
    c.fill(sd_box(13.5 * s, 5 * s, 17.5 * s, 19 * s, 1 * s), INK)


def icon_stop(c, s):
    c.fill(sd_box(6 * s, 6 * s, 18 * s, 18 * s, 1.6 * s), RED)


def _double_triangle(c, s, mirror):
    def m(x):
        return (24 - x) if mirror else x

    for tip, back in ((3, 12), (12, 21)):
        pts = [(m(back) * s, 6 * s), (m(back) * s, 18 * s), (m(tip) * s, 12 * s)]
        c.fill(sd_polygon(pts, 0.7 * s), INK)


def icon_rewind(c, s):
    _double_triangle(c, s, mirror=False)


def icon_forward(c, s):
    _double_triangle(c, s, mirror=True)


def _round_arrow(c, s, mirror):
    """A circle open in its upper corner with an arrowhead at the top: a short
    step back (counter-clockwise) or forward (clockwise)."""

    def m(x):
        return (24 - x) if mirror else x

    cx, cy, r = 12.5, 13.5, 6.5
    if mirror:
        arc = sd_arc(m(cx) * s, cy * s, r * s, 0, 270, 1.2 * s)
    else:
        arc = sd_arc(cx * s, cy * s, r * s, -90, 180, 1.2 * s)
    c.fill(arc, INK)
    head = [(m(cx + 0.8) * s, (cy - r - 3.6) * s), (m(cx + 0.8) * s, (cy - r + 3.6) * s), (m(cx - 4.2) * s, (cy - r) * s)]
    c.fill(sd_polygon(head, 0.4 * s), INK)


def icon_small_rewind(c, s):
    _round_arrow(c, s, mirror=False)


def icon_small_forward(c, s):
    _round_arrow(c, s, mirror=True)


def _ribbon(x0, y0, x1, y1, notch):
    mid = (x0 + x1) / 2
    return [(x0, y0), (x1, y0), (x1, y1), (mid, y1 - notch), (x0, y1)]


def icon_bookmark(c, s):
    c.fill(sd_polygon([(x * s, y * s) for x, y in _ribbon(7, 3.5, 17, 20.5, 4.5)], 0.6 * s), RED)


def icon_review_bookmarks(c, s):
    c.fill(sd_polygon([(x * s, y * s) for x, y in _ribbon(3, 3.5, 11.5, 18.5, 3.8)], 0.6 * s), RED)
    c.fill(sd_segment(13 * s, 13.5 * s, 18.5 * s, 13.5 * s, 1.1 * s), INK)
    c.fill(sd_polygon([(17.5 * s, 9.5 * s), (22 * s, 13.5 * s), (17.5 * s, 17.5 * s)], 0.5 * s), INK)


def _gear(cx, cy, outer, inner, hole, teeth):
    pts = []
    step = 2 * math.pi / teeth
    for k in range(teeth):
        a = k * step
        for da, rad in ((-0.30, inner), (-0.18, outer), (0.18, outer), (0.30, inner)):
            pts.append((cx + rad * math.cos(a + da * step * 1.6), cy + rad * math.sin(a + da * step * 1.6)))
    body = union(sd_polygon(pts, 0.3), sd_circle(cx, cy, inner))
    return subtract(body, sd_circle(cx, cy, hole))


def icon_settings(c, s):
    c.fill(_gear(12 * s, 12 * s, 9.5 * s, 7.0 * s, 3.0 * s, 8), INK)


def icon_help(c, s):
    c.fill(sd_circle(12 * s, 12 * s, 10 * s), BLUE)
    qm = union(
        sd_arc(12 * s, 9.6 * s, 3.3 * s, 180, 450, 1.15 * s),
        sd_segment(12 * s, 12.9 * s, 12 * s, 14.3 * s, 1.15 * s),
    )
    c.fill(qm, WHITE)
    c.fill(sd_circle(12 * s, 17.4 * s, 1.35 * s), WHITE)


TOOLBAR = [
    ("open", icon_open),
    ("play", icon_play),
    ("pause", icon_pause),
    ("stop", icon_stop),
    ("rewind", icon_rewind),
    ("small-rewind", icon_small_rewind),
    ("small-forward", icon_small_forward),
    ("forward", icon_forward),
    ("bookmark", icon_bookmark),
    ("review", icon_review_bookmarks),
    ("settings", icon_settings),
    ("help", icon_help),
]


# ---------------------------------------------------------------- pedal pictures


def pedal_picture(pedal, pressed):
    """The three-pedal foot control seen from above; pedal 1 is the left one,
    2 the large middle one, 3 the right one. The picture for pedal n marks that
    pedal: outlined when released, green and sunk when pressed."""
    c = Canvas(48, 44)
    c.fill(sd_box(2, 3, 46, 41, 8), (74, 82, 90))
    c.fill(sd_box(3.5, 4.5, 44.5, 39.5, 6.8), (92, 101, 110))

    def treads(x0, y0, x1, color):
        # Ridges at the toe end, where the foot rests: what makes it read as a pedal.
        for k in range(3):
            y = y0 + 3 + 3 * k
            c.fill(sd_box(x0 + 2, y, x1 - 2, y + 1.2, 0.6), color)

    rects = {1: (6.5, 9, 15.5, 35, 3), 2: (18.5, 7, 29.5, 37, 4), 3: (32.5, 9, 41.5, 35, 3)}
    for n, (x0, y0, x1, y1, rad) in rects.items():
        if n != pedal:
            c.fill(sd_box(x0, y0, x1, y1, rad), (150, 160, 170))
            treads(x0, y0, x1, (128, 138, 148))
            continue
        if pressed:
            c.fill(sd_box(x0 - 0.8, y0 - 0.8, x1 + 0.8, y1 + 0.8, rad + 0.8), (30, 110, 62))
            c.fill(sd_box(x0 + 0.6, y0 + 1.4, x1 - 0.6, y1 - 0.6, rad - 0.4), GREEN)
            treads(x0 + 0.6, y0 + 1.4, x1 - 0.6, (34, 124, 70))
        else:
            c.fill(sd_box(x0 - 1.3, y0 - 1.3, x1 + 1.3, y1 + 1.3, rad + 1.3), BLUE)
            c.fill(sd_box(x0, y0, x1, y1, rad), (228, 233, 238))
            treads(x0, y0, x1, (190, 198, 206))
    return c


# ---------------------------------------------------------------- mute and compact switches


def speaker(c, s, muted):
    body = [(3, 9), (7, 9), (12, 4.5), (12, 19.5), (7, 15), (3, 15)]
    c.fill(sd_polygon([(x * s, y * s) for x, y in body], 0.7 * s), INK)
    if muted:
        cross = union(
            sd_segment(15 * s, 9 * s, 21 * s, 15 * s, 1.15 * s),
            sd_segment(21 * s, 9 * s, 15 * s, 15 * s, 1.15 * s),
        )
        c.fill(cross, RED)
    else:
        c.fill(sd_arc(12 * s, 12 * s, 4.2 * s, -45, 45, 1.0 * s), GREEN)
        c.fill(sd_arc(12 * s, 12 * s, 7.8 * s, -50, 50, 1.0 * s), GREEN)


def zoom(c, s, inward):
    """inward: arrows pointing at the centre bar (make the window compact);
    otherwise arrows leaving it (back to the full window)."""
    c.fill(sd_box(11 * s, 5 * s, 13 * s, 19 * s, 0.8 * s), INK_SOFT)
    for side in (-1, 1):
        def m(x):
            return 12 + side * (x - 12)

        if inward:
            shaft = sd_segment(m(21.5) * s, 12 * s, m(16) * s, 12 * s, 1.1 * s)
            head = [(m(17.5) * s, 8 * s), (m(17.5) * s, 16 * s), (m(14) * s, 12 * s)]
        else:
            shaft = sd_segment(m(15) * s, 12 * s, m(19.5) * s, 12 * s, 1.1 * s)
            head = [(m(18.5) * s, 8 * s), (m(18.5) * s, 16 * s), (m(22.5) * s, 12 * s)]
        c.fill(shaft, INK)
        c.fill(sd_polygon(head, 0.4 * s), INK)


# ---------------------------------------------------------------- lettering
# A small geometric stroke alphabet, enough for the product name and subtitle.
# Units: x-height 1, baseline 0, y upwards; arcs in degrees counter-clockwise.


def _ring():
    return [("A", 0.5, 0.5, 0.5, 0, 360)]


GLYPHS = {
    "V": (1.1, [("L", 0, 1.5, 0.55, 0), ("L", 0.55, 0, 1.1, 1.5)]),
    "a": (1.0, _ring() + [("L", 1.0, 0, 1.0, 1.0)]),
    "c": (0.95, [("A", 0.5, 0.5, 0.5, 45, 315)]),
    "d": (1.0, _ring() + [("L", 1.0, 0, 1.0, 1.5)]),
    "e": (1.0, [("A", 0.5, 0.5, 0.5, 0, 315), ("L", 0, 0.5, 1.0, 0.5)]),
    "i": (0.0, [("L", 0, 0, 0, 1.0), ("D", 0, 1.33)]),
    "l": (0.0, [("L", 0, 0, 0, 1.5)]),
    "n": (1.0, [("L", 0, 0, 0, 1.0), ("A", 0.5, 0.5, 0.5, 0, 180), ("L", 1.0, 0, 1.0, 0.5)]),
    "o": (1.0, _ring()),
    "p": (1.0, _ring() + [("L", 0, -0.5, 0, 1.0)]),
    "r": (0.55, [("L", 0, 0, 0, 1.0), ("A", 0.5, 0.5, 0.5, 90, 180)]),
    "t": (0.5, [("L", 0.2, 0, 0.2, 1.3), ("L", 0, 1.0, 0.5, 1.0)]),
    "y": (1.0, [("L", 0, 1.0, 0.5, 0), ("L", 1.0, 1.0, 0.25, -0.5)]),
    " ": (0.35, []),
}


def text_sdf(text, x, baseline, size, weight, tracking=0.3):
    """Distance field of text drawn with strokes of half-width weight * size;
    returns (sdf, bbox, width)."""
    hw = weight * size
    parts = []
    pen = x
    for ch in text:
        adv, strokes = GLYPHS[ch]
        for st in strokes:
            if st[0] == "L":
                _, ax, ay, bx, by = st
                parts.append(sd_segment(pen + ax * size, baseline - ay * size, pen + bx * size, baseline - by * size, hw))
            elif st[0] == "A":
                _, cx, cy, r, a0, a1 = st
                parts.append(sd_arc(pen + cx * size, baseline - cy * size, r * size, -a1, -a0, hw))
            else:
                _, cx, cy = st
                parts.append(sd_circle(pen + cx * size, baseline - cy * size, hw * 1.15))
        pen += adv * size + tracking * size + 2 * hw
    width = pen - x - tracking * size - 2 * hw
    bbox = (x - 2 * hw, baseline - 1.6 * size - 2 * hw, pen, baseline + 0.6 * size + 2 * hw)
    return union(*parts), bbox, width


# ---------------------------------------------------------------- splash and application icon


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def speech_envelope(n, seed=7):
    """Bar heights in 0..1 that look like a few spoken phrases."""
    out = []
    for i in range(n):
        t = i / n
        word = abs(math.sin(t * 23.0 + seed)) ** 0.6
        phrase = 0.55 + 0.45 * math.sin(t * 6.3 + 1.1)
        jitter = 0.75 + 0.25 * math.sin(i * 2.39 + seed * 0.7)
        gap = 0.08 if (i % 17) in (0, 1) else 1.0
        out.append(max(0.05, word * phrase * jitter * gap))
    return out


def splash():
    w, h = 420, 240
    c = Canvas(w, h)
    top, bottom = (24, 52, 82), (12, 26, 42)
    c.fill(sd_box(0, 0, w, h), lambda x, y: lerp(top, bottom, y / h))

    # Waveform along the lower half, fading towards the edges.
    bars = speech_envelope(62)
    mid = 168
    for i, v in enumerate(bars):
        x = 22 + i * 6.2
        half = 4 + v * 34
        fade = min(1.0, min(x - 10, w - 10 - x) / 60)
        c.fill(sd_box(x, mid - half, x + 3.4, mid + half, 1.7), (78, 190, 180), alpha=0.55 * fade,
               bbox=(x - 1, mid - half - 1, x + 5, mid + half + 1))

    # Foot pedal outline, top right, as a quiet motif.
    ox, oy, pw, ph = 342, 30, 56, 48
    pedal = subtract(sd_box(ox, oy, ox + pw, oy + ph, 9), sd_box(ox + 2.5, oy + 2.5, ox + pw - 2.5, oy + ph - 2.5, 7))
    c.fill(pedal, (150, 190, 220), alpha=0.35, bbox=(ox, oy, ox + pw, oy + ph))
    for x0, y0, x1, y1 in ((7, 9, 18, 40), (22, 7, 34, 42), (38, 9, 49, 40)):
        c.fill(sd_box(ox + x0, oy + y0, ox + x1, oy + y1, 3), (150, 190, 220), alpha=0.28,
               bbox=(ox + x0, oy + y0, ox + x1, oy + y1))

    title, bbox, _ = text_sdf("Velloran", 34, 92, 32, 0.085, tracking=0.26)
    c.fill(title, WHITE, bbox=bbox)
    sub, bbox, _ = text_sdf("dictation player", 36, 122, 11, 0.08, tracking=0.32)
    c.fill(sub, (160, 190, 214), bbox=bbox)
    return c


APP_ICON_TOP, APP_ICON_BOTTOM = (52, 124, 200), (26, 66, 116)


def app_icon_boxes():
    """The application icon in its 256-unit square, as rounded boxes
    (x0, y0, x1, y1, corner radius, colour, alpha), back to front. None as the
    colour is the background's vertical gradient. The raster sizes and the
    scalable icon are both drawn from this list."""
    boxes = [(8, 8, 248, 248, 52, None, 1.0)]
    heights = [0.30, 0.55, 0.85, 1.0, 0.70, 0.45, 0.25]
    for i, v in enumerate(heights):
        x = 58 + i * 22
        half = 10 + v * 42
        boxes.append((x, 96 - half, x + 12, 96 + half, 6, WHITE, 1.0))
    boxes.append((44, 160, 212, 230, 18, (18, 44, 78), 0.55))
    for x0, x1, y0 in ((60, 98, 170), (108, 148, 164), (158, 196, 170)):
        boxes.append((x0, y0, x1, 220, 9, (232, 240, 248), 1.0))
    return boxes


def app_icon(size):
    s = size / 256.0
    c = Canvas(size, size)
    for x0, y0, x1, y1, rad, color, alpha in app_icon_boxes():
        if color is None:
            color = lambda x, y: lerp(APP_ICON_TOP, APP_ICON_BOTTOM, y / size)
        c.fill(sd_box(x0 * s, y0 * s, x1 * s, y1 * s, rad * s), color, alpha=alpha,
               bbox=(x0 * s, y0 * s, x1 * s, y1 * s))
    return c


def app_icon_svg():
    def rgb(color):
        return "#%02x%02x%02x" % tuple(int(round(v)) for v in color)

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
           '  <defs>',
           '    <linearGradient id="back" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="0" y2="256">',
           '      <stop offset="0" stop-color="%s"/>' % rgb(APP_ICON_TOP),
           '      <stop offset="1" stop-color="%s"/>' % rgb(APP_ICON_BOTTOM),
           '    </linearGradient>',
           '  </defs>']
    for x0, y0, x1, y1, rad, color, alpha in app_icon_boxes():
        fill = "url(#back)" if color is None else rgb(color)
        opacity = "" if alpha == 1.0 else ' fill-opacity="%g"' % alpha
        out.append('  <rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"%s/>'
                   % (x0, y0, x1 - x0, y1 - y0, rad, fill, opacity))
    out.append('</svg>')
    return "\n".join(out) + "\n"


# The icon theme's sizes; the desktop picks the nearest for menus and panels.
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def save_hicolor_icons():
    theme = os.path.join(HERE, "..", "icons", "hicolor")
    for size in HICOLOR_SIZES:
        folder = os.path.join(theme, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        app_icon(size).save_png(os.path.join(folder, "velloran.png"))
    folder = os.path.join(theme, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "velloran.svg"), "w") as f:
        f.write(app_icon_svg())


# ---------------------------------------------------------------- main


def main():
    for name, draw in TOOLBAR:
        for scale, suffix in ((1, ""), (2, "@2x")):
            c = Canvas(24 * scale, 24 * scale)
            draw(c, scale)
            save(c, "toolbar-" + name + suffix)

    for n in (1, 2, 3):
        save(pedal_picture(n, pressed=False), "pedal%dup" % n, bmp=True)
        save(pedal_picture(n, pressed=True), "pedal%ddown" % n, bmp=True)

    for name, muted in (("wavebalance", False), ("wavebalance1", True)):
        c = Canvas(24, 24)
        speaker(c, 1, muted)
        save(c, name, bmp=True)
        c = Canvas(48, 48)
        speaker(c, 2, muted)
        save(c, name + "@2x")

    for name, inward in (("zoomin", True), ("zoomout", False)):
        c = Canvas(24, 24)
        zoom(c, 1, inward)
        save(c, name, bmp=True)
        c = Canvas(48, 48)
        zoom(c, 2, inward)
        save(c, name + "@2x")

    save(splash(), "splash")
    save(app_icon(256), "velloran")
    save(app_icon(64), "about")
    save_hicolor_icons()


if __name__ == "__main__":
    main()
