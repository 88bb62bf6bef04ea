#!/usr/bin/env python3
"""Draws the artwork of vespra.exe and writes it into resources/.

    python3 scripts/make_artwork.py           write the files
    python3 scripts/make_artwork.py --check   exit 1 when a written file differs

The pictures are described below as a few shapes (discs, rings, strokes) and are
rendered with 4 x 4 supersampling, so the output is the same on every machine:

- vespra.ico (icon 130, the program's icon): a clock face whose hands show 11:00,
  the default shut-down time, with a red power sign; 16 x 16 and 32 x 32.
- check_times.ico (icon 208, the Check Times dialog): a night disc with a crescent
  moon and stars, for a time after midnight; 16 x 16 and 32 x 32.
- about.bmp (bitmap 132, the About dialog): the clock on a light tile, 72 x 72.

Only the standard library is used.
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")
SS = 4  # subsamples per axis


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_in, r_out):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def stroke(x0, y0, x1, y1, w):
    """A line segment with round ends, w wide."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= (w / 2) ** 2

    return inside


def arc(cx, cy, r, w, gap_deg):
    """A ring of width w with a gap of gap_deg degrees centred at the top."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > w / 2:
            return False
        ang = math.degrees(math.atan2(x - cx, -(y - cy)))  # 0 = up, clockwise
        return abs(ang) >= gap_deg / 2

    return inside


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def hand(cx, cy, clock_pos, length, w):
    """A clock hand from the centre towards a position on the dial (0..12)."""
    ang = math.radians(clock_pos * 30.0)
    return stroke(cx, cy, cx + length * math.sin(ang), cy - length * math.cos(ang), w)


def render(size, layers, background=None):
    """layers: (shape in unit coordinates 0..1, (r, g, b, a)), painted in order.
    Returns rows of (r, g, b, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = (px + (sx + 0.5) / SS) / size
                    y = (py + (sy + 0.5) / SS) / size
                    r, g, b, a = background if background else (0, 0, 0, 0)
                    for shape, (cr, cg, cb, ca) in layers:
                        if shape(x, y):
                            f = ca / 255.0
                            r = cr * f + r * (1 - f)
                            g = cg * f + g * (1 - f)
                            b = cb * f + b * (1 - f)
                            a = max(a, ca)
                    # Premultiply to average colours of partly covered samples.
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SS * SS
            alpha = acc[3] / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha)),))
        rows.append(row)
    return rows


NAVY = (24, 48, 112, 255)
WHITE = (255, 255, 255, 255)
RIM = (200, 210, 230, 255)
RED = (210, 30, 30, 255)
DARK = (16, 24, 56, 255)
MOON = (250, 220, 90, 255)


def clock_layers(scale=1.0, ox=0.0, oy=0.0):
    def at(shape_fn, *args):
        return shape_fn(*args)

    c = 0.5
    s = scale
    cx, cy = ox + c * s, oy + c * s
    layers = [
        (disc(cx, cy, 0.47 * s), RIM),
        (disc(cx, cy, 0.41 * s), NAVY),
    ]
    for h in range(12):
        ang = math.radians(h * 30)
        r0, r1 = (0.30, 0.38) if h % 3 == 0 else (0.33, 0.38)
        layers.append((stroke(cx + r0 * s * math.sin(ang), cy - r0 * s * math.cos(ang),
                              cx + r1 * s * math.sin(ang), cy - r1 * s * math.cos(ang),
                              0.035 * s), WHITE))
    layers += [
        (hand(cx, cy, 11, 0.22 * s, 0.075 * s), WHITE),  # hour hand at 11
        (hand(cx, cy, 0, 0.31 * s, 0.05 * s), WHITE),    # minute hand at :00
        (disc(cx, cy, 0.05 * s), WHITE),
        # The power sign, bottom right.
        (disc(cx + 0.30 * s, cy + 0.30 * s, 0.19 * s), WHITE),
        (arc(cx + 0.30 * s, cy + 0.30 * s, 0.11 * s, 0.045 * s, 70), RED),
        (stroke(cx + 0.30 * s, cy + 0.20 * s, cx + 0.30 * s, cy + 0.29 * s, 0.045 * s), RED),
    ]
    return layers


def night_layers():
    return [
        (disc(0.5, 0.5, 0.47), RIM),
        (disc(0.5, 0.5, 0.42), DARK),
        (minus(disc(0.46, 0.52, 0.27), disc(0.58, 0.44, 0.24)), MOON),
        (disc(0.70, 0.70, 0.045), WHITE),
        (disc(0.74, 0.28, 0.035), WHITE),
        (disc(0.30, 0.24, 0.03), WHITE),
    ]


def icon_image(rows):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA bottom-up, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def ico(images):
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for rows in images:
        blob = icon_image(rows)
        size = len(rows)
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return data + b"".join(blobs)


def bmp(rows):
    """24-bit bottom-up BMP."""
    size = len(rows)
    stride = (size * 3 + 3) & ~3
    pixels = b""
    for row in reversed(rows):
        line = b"".join(bytes((b, g, r)) for (r, g, b, _) in row)
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def artwork():
    tile = (236, 240, 248, 255)
    about_layers = [(lambda x, y: True, tile)] + clock_layers(0.84, 0.08, 0.08)
    return {
        "vespra.ico": ico([render(32, clock_layers()), render(16, clock_layers())]),
        "check_times.ico": ico([render(32, night_layers()), render(16, night_layers())]),
        "about.bmp": bmp(render(72, about_layers)),
    }


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for name, data in artwork().items():
        path = os.path.join(OUT, name)
        if check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(name)
            except OSError:
                stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("make_artwork.py: out of date: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
