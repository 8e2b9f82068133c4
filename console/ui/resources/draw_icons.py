#!/usr/bin/env python3
"""Draws the console's own pictures, the fall-backs for desktops whose icon
theme lacks a name. Standard library only: shapes are filled by sampling each
pixel 4 x 4 times and written as PNG. Run it here to remake the files."""

import math
import struct
import zlib

SAMPLES = 4


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def fill(self, inside, colour):
        """Paints colour over every pixel by the share of its samples inside."""
        r, g, b, a = colour
        step = 1.0 / SAMPLES
        for y in range(self.size):
            for x in range(self.size):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            hits += 1
                if hits:
                    cover = a * hits / (SAMPLES * SAMPLES)
                    pr, pg, pb, pa = self.pixels[y][x]
                    out_a = cover + pa * (1 - cover)
                    blend = lambda c, p: (c * cover + p * pa * (1 - cover)) / out_a
                    self.pixels[y][x] = (blend(r, pr), blend(g, pg), blend(b, pb), out_a)

    def save(self, path):
        raw = b""
        for row in self.pixels:
            raw += b"\x00" + b"".join(
                bytes(int(round(max(0.0, min(1.0, c)) * 255)) for c in px) for px in row)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.size, self.size, 8, 6, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                      + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def rgb(text, alpha=1.0):
    return (int(text[0:2], 16) / 255, int(text[2:4], 16) / 255, int(text[4:6], 16) / 255, alpha)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in, start=None, end=None):
    """A ring, or the part of it from angle start to end (degrees, clockwise from east)."""
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        if not r_in * r_in <= d <= r_out * r_out:
            return False
        if start is None:
            return True
        angle = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (angle - start) % 360 <= (end - start) % 360
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


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


def line(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    nx, ny = -dy / length * width / 2, dx / length * width / 2
    return polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


BLUE, DARK, GREEN, RED, GREY, WHITE, AMBER = (
    rgb("2f6db5"), rgb("1d3f66"), rgb("3c9a3c"), rgb("c8372d"), rgb("7a8490"), rgb("ffffff"),
    rgb("e8a317"))


def plug(c, s, colour):
    """A plug and a socket facing each other across the middle."""
    c.fill(union(rounded(2 * s, 9 * s, 13 * s, 23 * s, 3 * s), rect(13 * s, 12 * s, 17 * s, 14.5 * s),
                 rect(13 * s, 17.5 * s, 17 * s, 20 * s), rect(0, 14.5 * s, 2 * s, 17.5 * s)), colour)
    c.fill(union(rounded(19 * s, 9 * s, 30 * s, 23 * s, 3 * s), rect(30 * s, 14.5 * s, 32 * s, 17.5 * s)),
           colour)


def draw_connect(c, s):
    plug(c, s, BLUE)
    c.fill(circle(24.5 * s, 16 * s, 2.5 * s), GREEN)


def draw_disconnect(c, s):
    plug(c, s, GREY)
    c.fill(line(10 * s, 4 * s, 22 * s, 28 * s, 3 * s), RED)


def draw_browser(c, s):
    c.fill(circle(16 * s, 16 * s, 13 * s), BLUE)
    lines = rgb("ffffff", 0.8)
    c.fill(rect(3 * s, 15.2 * s, 29 * s, 16.8 * s), lines)
    c.fill(rect(5 * s, 9.2 * s, 27 * s, 10.6 * s), lines)
    c.fill(rect(5 * s, 21.4 * s, 27 * s, 22.8 * s), lines)
    ellipse_out = lambda x, y: ((x - 16 * s) / (6.5 * s)) ** 2 + ((y - 16 * s) / (13 * s)) ** 2 <= 1
    ellipse_in = lambda x, y: ((x - 16 * s) / (5 * s)) ** 2 + ((y - 16 * s) / (11.5 * s)) ** 2 <= 1
    c.fill(minus(ellipse_out, ellipse_in), lines)
    c.fill(ring(16 * s, 16 * s, 13 * s, 11.8 * s), DARK)


def draw_options(c, s):
    teeth = []
    for i in range(8):
        angle = math.radians(i * 45)
        cx, cy = 16 * s + math.cos(angle) * 11 * s, 16 * s + math.sin(angle) * 11 * s
        teeth.append(circle(cx, cy, 3.2 * s))
    gear = union(circle(16 * s, 16 * s, 10.5 * s), *teeth)
    c.fill(minus(gear, circle(16 * s, 16 * s, 4.5 * s)), GREY)
    c.fill(ring(16 * s, 16 * s, 6.5 * s, 4.5 * s), DARK)


def draw_add(c, s):
    c.fill(circle(16 * s, 16 * s, 13 * s), GREEN)
    c.fill(union(rect(8 * s, 14 * s, 24 * s, 18 * s), rect(14 * s, 8 * s, 18 * s, 24 * s)), WHITE)


def draw_remove(c, s):
    c.fill(circle(16 * s, 16 * s, 13 * s), RED)
    c.fill(rect(8 * s, 14 * s, 24 * s, 18 * s), WHITE)


def draw_edit(c, s):
    c.fill(rounded(4 * s, 3 * s, 22 * s, 29 * s, 2 * s), rgb("f4f6f8"))
    c.fill(minus(rounded(4 * s, 3 * s, 22 * s, 29 * s, 2 * s),
                 rounded(5.5 * s, 4.5 * s, 20.5 * s, 27.5 * s, 1 * s)), GREY)
    for y in (9, 13, 17):
        c.fill(rect(8 * s, y * s, 18 * s, (y + 1) * s), GREY)
    c.fill(line(12 * s, 26 * s, 27 * s, 8 * s, 5 * s), AMBER)
    c.fill(polygon([(9.5 * s, 29 * s), (10.2 * s, 23.6 * s), (14 * s, 26.8 * s)]), DARK)


def draw_help(c, s):
    c.fill(circle(16 * s, 16 * s, 13 * s), BLUE)
    c.fill(ring(16 * s, 12 * s, 6 * s, 3 * s, 180, 80), WHITE)
    c.fill(polygon([(17 * s, 16.5 * s), (19.5 * s, 15 * s), (17.5 * s, 20 * s), (14.5 * s, 20 * s),
                    (14.5 * s, 17.5 * s)]), WHITE)
    c.fill(circle(16 * s, 24 * s, 2 * s), WHITE)


def draw_ip_address(c, s):
    c.fill(rounded(1 * s, 4 * s, 15 * s, 12 * s, 1.5 * s), DARK)
    c.fill(rect(3 * s, 6.5 * s, 9 * s, 9.5 * s), rgb("3a5f88"))
    c.fill(circle(11 * s, 8 * s, 1.1 * s), GREEN)
    c.fill(circle(13 * s, 8 * s, 1.1 * s), AMBER)


def draw_ascending(c, s):
    c.fill(polygon([(8 * s, 4 * s), (14 * s, 12 * s), (2 * s, 12 * s)]), DARK)


def draw_descending(c, s):
    c.fill(polygon([(2 * s, 4 * s), (14 * s, 4 * s), (8 * s, 12 * s)]), DARK)


def draw_none(c, s):
    pass


def arrows(c, s, up_colour, down_colour):
    c.fill(polygon([(10 * s, 2 * s), (17 * s, 10 * s), (13 * s, 10 * s), (13 * s, 22 * s),
                    (7 * s, 22 * s), (7 * s, 10 * s), (3 * s, 10 * s)]), up_colour)
    c.fill(polygon([(22 * s, 30 * s), (29 * s, 22 * s), (25 * s, 22 * s), (25 * s, 10 * s),
                    (19 * s, 10 * s), (19 * s, 22 * s), (15 * s, 22 * s)]), down_colour)


def draw_online1(c, s):
    arrows(c, s, GREEN, GREY)


def draw_online2(c, s):
    arrows(c, s, GREY, GREEN)


def draw_pelion(c, s):
    c.fill(rounded(1 * s, 1 * s, 31 * s, 31 * s, 6 * s), BLUE)
    bowl = union(ring(15 * s, 13.5 * s, 7.5 * s, 3 * s, 270, 90), rect(9 * s, 6 * s, 15 * s, 10.5 * s),
                 rect(9 * s, 16.5 * s, 15 * s, 21 * s))
    c.fill(union(rect(9 * s, 6 * s, 13.5 * s, 26 * s), bowl), WHITE)
    c.fill(circle(24 * s, 24 * s, 3 * s), AMBER)


PICTURES = [
    ("connect", 32, draw_connect), ("disconnect", 32, draw_disconnect),
    ("browser", 32, draw_browser), ("options", 32, draw_options), ("add", 32, draw_add),
    ("remove", 32, draw_remove), ("edit", 32, draw_edit), ("help", 32, draw_help),
    ("online1", 32, draw_online1), ("online2", 32, draw_online2), ("pelion", 32, draw_pelion),
    ("pelion48", 48, draw_pelion), ("ipaddress", 16, draw_ip_address),
    ("ascending", 16, draw_ascending), ("descending", 16, draw_descending),
    ("none", 16, draw_none),
]

if __name__ == "__main__":
    for name, size, draw in PICTURES:
        canvas = Canvas(size)
        draw(canvas, size / (16 if size == 16 else 32))
        canvas.save(name + ".png")
