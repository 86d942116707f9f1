#!/usr/bin/python3
"""Draws Velumbra's pictures into this folder.

    python3 res/generate_pictures.py

Writes digit0.png ... digit9.png, colon.png, background.png, velumbra.png and velumbra.ico next to
this script. Needs Pillow (Debian: apt-get install python3-pil) and the DejaVu fonts (Debian:
fonts-dejavu-core). Every run gives the same files: nothing random is left unseeded and no time or
path goes into the pictures.
"""

import math
import os
import random
import sys

try:
    from PIL import Image, ImageDraw, ImageFont
except ImportError:  # a non-Debian python3 first on PATH: fall back to Debian's Pillow
    sys.path.append("/usr/lib/python3/dist-packages")
    from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------------
# Palette

BLACK = (0, 0, 0)
LED_ON = (0xFF, 0x20, 0x20)
LED_OFF = (0x10, 0x10, 0x5A)
PAPER = (0xE8, 0xE3, 0xD6)  # background of the map: light grey-beige
INK = (0x2B, 0x3A, 0x58)  # drawing of the map: dark slate blue

# ---------------------------------------------------------------------------------------------------
# Seven-segment digits

DIGIT_W, DIGIT_H = 36, 48
COLON_W = 12
SUPER = 8  # supersampling factor; straight edges sit on whole pixels and stay crisp

SEG_T = 6.0  # segment thickness
SEG_GAP = 1.0  # how far each segment end stops short of the corner point (gap ~1.4 px across)
X_LEFT, X_RIGHT = 7.0, 29.0  # centre lines of the vertical segments
Y_TOP, Y_MID, Y_BOTTOM = 5.0, 24.0, 43.0  # centre lines of the horizontal segments

#            a  b  c  d  e  f  g
SEGMENTS = {
    0: "1111110",
    1: "0110000",
    2: "1101101",
    3: "1111001",
    4: "0110011",
    5: "1011011",
    6: "1011111",
    7: "1110000",
    8: "1111111",
    9: "1111011",
}


def horizontal_segment(x0, x1, y):
    """Hexagon from x0 to x1 along the line y, ends cut at 45 degrees to a point."""
    h = SEG_T / 2
    a, b = x0 + SEG_GAP, x1 - SEG_GAP
    return [(a, y), (a + h, y - h), (b - h, y - h), (b, y), (b - h, y + h), (a + h, y + h)]


def vertical_segment(x, y0, y1):
    h = SEG_T / 2
    a, b = y0 + SEG_GAP, y1 - SEG_GAP
    return [(x, a), (x + h, a + h), (x + h, b - h), (x, b), (x - h, b - h), (x - h, a + h)]


def segment_shapes():
    return [
        horizontal_segment(X_LEFT, X_RIGHT, Y_TOP),  # a
        vertical_segment(X_RIGHT, Y_TOP, Y_MID),  # b
        vertical_segment(X_RIGHT, Y_MID, Y_BOTTOM),  # c
        horizontal_segment(X_LEFT, X_RIGHT, Y_BOTTOM),  # d
        vertical_segment(X_LEFT, Y_MID, Y_BOTTOM),  # e
        vertical_segment(X_LEFT, Y_TOP, Y_MID),  # f
        horizontal_segment(X_LEFT, X_RIGHT, Y_MID),  # g
    ]


def supersampled(width, height, background, shapes):
    """Draws (polygon, colour) pairs at SUPER times the size and averages down."""
    big = Image.new("RGB", (width * SUPER, height * SUPER), background)
    draw = ImageDraw.Draw(big)
    for polygon, colour in shapes:
        draw.polygon([(x * SUPER, y * SUPER) for x, y in polygon], fill=colour)
    return big.resize((width, height), Image.BOX)


def make_digit(value):
    lit = SEGMENTS[value]
    shapes = [(poly, LED_ON if lit[i] == "1" else LED_OFF) for i, poly in enumerate(segment_shapes())]
    return supersampled(DIGIT_W, DIGIT_H, BLACK, shapes)


def octagon(cx, cy, size, bevel):
    h = size / 2
    return [(cx - h + bevel, cy - h), (cx + h - bevel, cy - h), (cx + h, cy - h + bevel),
            (cx + h, cy + h - bevel), (cx + h - bevel, cy + h), (cx - h + bevel, cy + h),
            (cx - h, cy + h - bevel), (cx - h, cy - h + bevel)]


def make_colon():
    # One dot halfway between the top and middle segments, one halfway between middle and bottom:
    # together they straddle the middle segment of the digits beside them.
    cx = COLON_W / 2
    dots = [octagon(cx, (Y_TOP + Y_MID) / 2, SEG_T, 1.5), octagon(cx, (Y_MID + Y_BOTTOM) / 2, SEG_T, 1.5)]
    return supersampled(COLON_W, DIGIT_H, BLACK, [(d, LED_ON) for d in dots])


# ---------------------------------------------------------------------------------------------------
# Background: the municipalities of Tuscany, two colours only

MAP_W, MAP_H = 378, 400

# The region's border, (longitude, latitude), clockwise from the Lunigiana; simplified by hand.
MAINLAND = [
    # north: Liguria and Emilia-Romagna along the Apennine ridge
    (9.69, 44.37), (9.76, 44.43), (9.86, 44.47), (9.95, 44.46), (10.04, 44.42), (10.12, 44.37),
    (10.23, 44.30), (10.33, 44.26), (10.44, 44.20), (10.55, 44.17), (10.66, 44.14), (10.80, 44.13),
    (10.95, 44.11), (11.06, 44.15), (11.17, 44.12), (11.26, 44.16), (11.34, 44.21), (11.45, 44.24),
    (11.55, 44.17), (11.62, 44.10), (11.60, 44.00), (11.63, 43.93), (11.72, 43.88), (11.85, 43.83),
    (11.95, 43.78), (12.05, 43.77), (12.15, 43.80), (12.24, 43.76), (12.37, 43.72), (12.34, 43.65),
    # east: Marche, Umbria, Lazio
    (12.25, 43.60), (12.18, 43.54), (12.14, 43.47), (12.08, 43.40), (12.05, 43.32), (12.06, 43.24),
    (12.00, 43.17), (11.96, 43.09), (11.97, 43.00), (11.93, 42.91), (11.89, 42.84), (11.81, 42.77),
    (11.75, 42.70), (11.71, 42.62), (11.63, 42.55), (11.55, 42.47), (11.45, 42.38),
    # south coast, Monte Argentario and the Maremma
    (11.35, 42.40), (11.28, 42.41), (11.22, 42.43), (11.20, 42.40), (11.17, 42.36), (11.10, 42.37),
    (11.07, 42.41), (11.12, 42.45), (11.17, 42.50), (11.10, 42.56), (11.05, 42.61), (11.00, 42.65),
    (10.93, 42.72), (10.88, 42.76), (10.78, 42.79), (10.75, 42.85), (10.76, 42.92), (10.65, 42.96),
    (10.53, 42.92), (10.48, 42.96), (10.51, 43.01), (10.54, 43.09), (10.53, 43.20), (10.49, 43.30),
    # west coast up to Liguria
    (10.45, 43.40), (10.36, 43.47), (10.30, 43.55), (10.29, 43.62), (10.28, 43.68), (10.27, 43.76),
    (10.24, 43.87), (10.17, 43.96), (10.10, 44.00), (10.04, 44.03), (10.02, 44.07), (9.96, 44.12),
    (9.90, 44.17), (9.84, 44.23), (9.77, 44.29), (9.71, 44.33),
]

ISLANDS = [
    # Elba
    [(10.10, 42.77), (10.12, 42.80), (10.16, 42.815), (10.21, 42.80), (10.25, 42.79), (10.29, 42.805),
     (10.33, 42.82), (10.35, 42.80), (10.38, 42.83), (10.41, 42.88), (10.44, 42.86), (10.44, 42.82),
     (10.43, 42.78), (10.41, 42.76), (10.44, 42.74), (10.42, 42.71), (10.37, 42.72), (10.35, 42.74),
     (10.31, 42.75), (10.27, 42.745), (10.24, 42.755), (10.21, 42.735), (10.15, 42.73), (10.11, 42.745)],
    # Giglio
    [(10.88, 42.38), (10.92, 42.39), (10.94, 42.35), (10.91, 42.32), (10.87, 42.34)],
    # Capraia
    [(9.80, 43.05), (9.83, 43.06), (9.84, 43.02), (9.82, 42.99), (9.79, 43.01)],
    # Pianosa
    [(10.07, 42.61), (10.10, 42.60), (10.11, 42.57), (10.08, 42.56), (10.06, 42.58)],
]

# Points that pull the land around them into a province: a rough sketch of the ten provinces.
PROVINCE_ANCHORS = {
    "MS": [(9.85, 44.35), (10.00, 44.22), (10.13, 44.06)],
    "LU": [(10.35, 44.15), (10.45, 43.97), (10.30, 43.88), (10.55, 43.85), (10.22, 44.22)],
    "PT": [(10.78, 44.05), (10.90, 43.90), (10.82, 43.85)],
    "PO": [(11.10, 44.00), (11.08, 43.87)],
    "FI": [(11.25, 43.77), (11.35, 44.08), (11.55, 43.95), (11.00, 43.68), (11.20, 43.60),
           (11.45, 43.72), (11.55, 44.12)],
    "PI": [(10.42, 43.70), (10.68, 43.65), (10.78, 43.47), (10.68, 43.33), (10.85, 43.25)],
    "LI": [(10.34, 43.50), (10.48, 43.25), (10.53, 43.03), (10.26, 42.78), (9.82, 43.03), (10.08, 42.58)],
    "AR": [(11.88, 43.46), (11.78, 43.70), (12.12, 43.64), (11.97, 43.28), (11.62, 43.55)],
    "SI": [(11.33, 43.32), (11.15, 43.42), (11.60, 43.15), (11.85, 43.05), (11.00, 43.20),
           (11.55, 42.95), (11.70, 42.85)],
    "GR": [(11.11, 42.76), (10.92, 42.98), (11.40, 42.70), (11.60, 42.58), (11.25, 42.50),
           (10.90, 42.36), (10.80, 43.02)],
}

LON0, LAT0 = 9.69, 44.47  # north-west corner of the drawing
PX_PER_DEG_LAT = 170.0
PX_PER_DEG_LON = PX_PER_DEG_LAT * math.cos(math.radians(43.3))
X_OFFSET, Y_OFFSET = 26.0, 8.0

MUNICIPALITIES = 273  # how many cells the region is cut into (as many as its municipalities)
MAP_SEED = 20240613


def project(lon, lat):
    return (X_OFFSET + (lon - LON0) * PX_PER_DEG_LON, Y_OFFSET + (LAT0 - lat) * PX_PER_DEG_LAT)


def unproject(x, y):
    return (LON0 + (x - X_OFFSET) / PX_PER_DEG_LON, LAT0 - (y - Y_OFFSET) / PX_PER_DEG_LAT)


def land_mask():
    mask = Image.new("1", (MAP_W, MAP_H), 0)
    draw = ImageDraw.Draw(mask)
    for outline in [MAINLAND] + ISLANDS:
        draw.polygon([project(*p) for p in outline], fill=1)
    return mask


def spacing_at(x, y):
    """Wanted distance between seeds: municipalities are small along the Arno, large in the south."""
    lon, lat = unproject(x, y)
    dense = math.exp(-((lat - 43.78) / 0.22) ** 2 - ((lon - 10.95) / 0.75) ** 2)
    south = min(1.0, max(0.0, (43.2 - lat) / 0.6))
    return 12.5 - 4.0 * dense + 4.5 * south


def place_seeds(land, rng):
    """Dart throwing with a varying minimum distance, then a few Lloyd relaxation steps."""
    w, h = land.size
    px = land.load()
    seeds = []
    attempts = 0
    while len(seeds) < MUNICIPALITIES and attempts < 200000:
        attempts += 1
        x, y = rng.random() * w, rng.random() * h
        if not px[int(x), int(y)]:
            continue
        r = spacing_at(x, y)
        if all((x - sx) ** 2 + (y - sy) ** 2 >= (0.5 * (r + spacing_at(sx, sy))) ** 2 for sx, sy in seeds):
            seeds.append((x, y))
    for _ in range(1):
        labels = nearest_labels(seeds, land)
        sums = [[0.0, 0.0, 0] for _ in seeds]
        for (x, y), k in labels.items():
            s = sums[k]
            s[0] += x
            s[1] += y
            s[2] += 1
        seeds = [(s[0] / s[2] + 0.5, s[1] / s[2] + 0.5) if s[2] else seeds[i] for i, s in enumerate(sums)]
    return seeds


def nearest_labels(seeds, land):
    """Index of the nearest seed for every land pixel, through a bucket grid."""
    cell = 16
    w, h = land.size
    gw, gh = w // cell + 1, h // cell + 1
    grid = [[] for _ in range(gw * gh)]
    for i, (x, y) in enumerate(seeds):
        grid[int(y) // cell * gw + int(x) // cell].append(i)
    px = land.load()
    labels = {}
    for y in range(h):
        for x in range(w):
            if not px[x, y]:
                continue
            cx, cy = x + 0.5, y + 0.5
            gx, gy = x // cell, y // cell
            best, best_d = -1, float("inf")
            ring = 0
            while True:
                for j in range(gy - ring, gy + ring + 1):
                    for i in range(gx - ring, gx + ring + 1):
                        if max(abs(i - gx), abs(j - gy)) != ring or not (0 <= i < gw and 0 <= j < gh):
                            continue
                        for k in grid[j * gw + i]:
                            sx, sy = seeds[k]
                            d = (sx - cx) ** 2 + (sy - cy) ** 2
                            if d < best_d:
                                best, best_d = k, d
                # every seed not yet seen is at least ring * cell away
                if best >= 0 and best_d <= (ring * cell) ** 2 or ring > max(gw, gh):
                    break
                ring += 1
            labels[(x, y)] = best
    return labels


def province_of(x, y):
    lon, lat = unproject(x, y)
    best, best_d = None, float("inf")
    for name, anchors in PROVINCE_ANCHORS.items():
        for alon, alat in anchors:
            d = ((alon - lon) * math.cos(math.radians(43.3))) ** 2 + (alat - lat) ** 2
            if d < best_d:
                best, best_d = name, d
    return best


# Offsets that make the coast two pixels wide: the 8 neighbours plus two steps straight out.
COAST_REACH = [(i, j) for i in (-1, 0, 1) for j in (-1, 0, 1) if (i, j) != (0, 0)] + \
    [(2, 0), (-2, 0), (0, 2), (0, -2)]


def make_background():
    rng = random.Random(MAP_SEED)
    land = land_mask()
    seeds = place_seeds(land, rng)
    labels = nearest_labels(seeds, land)
    province = [province_of(x, y) for x, y in seeds]

    img = Image.new("RGB", (MAP_W, MAP_H), PAPER)
    out = img.load()
    lp = land.load()

    def is_land(x, y):
        return 0 <= x < MAP_W and 0 <= y < MAP_H and lp[x, y]

    # Municipal borders 1 px (drawn on the upper/left side); provincial borders 2 px (both sides).
    for y in range(MAP_H):
        for x in range(MAP_W):
            if not lp[x, y]:
                continue
            k = labels[(x, y)]
            for nx, ny in ((x + 1, y), (x, y + 1), (x - 1, y), (x, y - 1)):
                if is_land(nx, ny):
                    n = labels[(nx, ny)]
                    if n != k and (province[n] != province[k] or nx > x or ny > y):
                        out[x, y] = INK

    # Coast and regional border, 2 px: land pixels that touch the outside.
    for y in range(MAP_H):
        for x in range(MAP_W):
            if lp[x, y] and any(not is_land(x + i, y + j) for i, j in COAST_REACH):
                out[x, y] = INK

    # The name, lower left, unsmoothed so that only the two colours appear.
    draw = ImageDraw.Draw(img)
    draw.fontmode = "1"
    font = ImageFont.truetype(find_font("DejaVuSans-Bold.ttf"), 26)
    left, top, right, bottom = draw.textbbox((0, 0), "Velumbra", font=font)
    x0, y0 = 14 - left, MAP_H - 12 - bottom
    draw.rectangle((x0 + left - 4, y0 + top - 4, x0 + right + 4, y0 + bottom + 4), fill=PAPER)
    draw.text((x0, y0), "Velumbra", font=font, fill=INK)
    draw.line((x0 + left, y0 + bottom + 5, x0 + right, y0 + bottom + 5), fill=INK, width=1)

    assert img.getpixel((0, 0)) == PAPER
    return img


def find_font(name):
    for folder in ("/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu", "/usr/share/fonts/TTF"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            return path
    sys.exit("font %s not found: apt-get install fonts-dejavu-core" % name)


# ---------------------------------------------------------------------------------------------------
# Program icon: a bus seen from the front on a slate tile. Drawn on a 16-unit grid so that the
# main shapes sit on whole pixels at 16, 32, 48, 64, 128 and 256 pixels; details appear from 48 up.

ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def make_icon(size):
    s = 4  # supersampling
    u = size * s / 16.0  # one grid unit in supersampled pixels
    big = Image.new("RGBA", (size * s, size * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)

    def box(x0, y0, x1, y1):
        return (round(x0 * u), round(y0 * u), round(x1 * u) - 1, round(y1 * u) - 1)

    detailed = size >= 48
    d.rounded_rectangle(box(0, 0, 16, 16), radius=3 * u, fill=INK)
    # wheels under the body, mirrors beside it
    d.rounded_rectangle(box(4, 12, 6, 14.5), radius=0.4 * u, fill=PAPER)
    d.rounded_rectangle(box(10, 12, 12, 14.5), radius=0.4 * u, fill=PAPER)
    if detailed:
        d.rectangle(box(2.25, 4.5, 3, 4.9), fill=PAPER)
        d.rectangle(box(13, 4.5, 13.75, 4.9), fill=PAPER)
        d.rounded_rectangle(box(1.9, 4.5, 2.6, 7), radius=0.25 * u, fill=PAPER)
        d.rounded_rectangle(box(13.4, 4.5, 14.1, 7), radius=0.25 * u, fill=PAPER)
    # body
    d.rounded_rectangle(box(3, 2, 13, 13), radius=(1.25 if detailed else 1) * u, fill=PAPER)
    # destination sign, lit like the digits
    d.rectangle(box(5, 3, 11, 4), fill=LED_ON)
    if detailed:
        d.rectangle(box(4.5, 2.75, 11.5, 4.25), outline=INK, width=max(1, round(0.25 * u)))
    # windshield
    d.rounded_rectangle(box(4, 5, 12, 9), radius=(0.5 if detailed else 0.25) * u, fill=INK)
    if detailed:
        # a light streak across the glass
        d.polygon([(9.5 * u, 5.5 * u), (10.5 * u, 5.5 * u), (8.5 * u, 8.5 * u), (7.5 * u, 8.5 * u)],
                  fill=(0x4A, 0x5B, 0x7D, 255))
        d.ellipse(box(4.25, 9.9, 6.25, 11.9), fill=INK)
        d.ellipse(box(9.75, 9.9, 11.75, 11.9), fill=INK)
        d.rectangle(box(7, 10.5, 9, 11.25), fill=INK)
        d.rectangle(box(3, 12.25, 13, 12.5), fill=INK)
    else:
        d.rectangle(box(4, 10, 6, 11), fill=INK)
        d.rectangle(box(10, 10, 12, 11), fill=INK)
    return big.resize((size, size), Image.BOX)


# ---------------------------------------------------------------------------------------------------

def save_png(img, name):
    img.save(os.path.join(HERE, name), "PNG", optimize=True)


def main():
    for value in range(10):
        save_png(make_digit(value), "digit%d.png" % value)
    save_png(make_colon(), "colon.png")
    save_png(make_background(), "background.png")
    icons = [make_icon(size) for size in ICON_SIZES]
    save_png(icons[-1], "velumbra.png")
    # The same sizes for the hicolor icon theme of Linux desktops (installed by the Debian package).
    os.makedirs(os.path.join(HERE, "hicolor"), exist_ok=True)
    for size, icon in zip(ICON_SIZES, icons):
        save_png(icon, os.path.join("hicolor", "velumbra-%d.png" % size))
    icons[-1].save(os.path.join(HERE, "velumbra.ico"), "ICO",
                   sizes=[(s, s) for s in ICON_SIZES], append_images=icons[:-1])


if __name__ == "__main__":
    main()
