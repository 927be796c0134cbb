#!/usr/bin/python3
"""Draws the skin of the update window and the program icon.

Writes, beside this script:
  134.bmp  13 x 14  progress fill (stretched over the bar, so every column is the same)
  135.bmp  385 x 322 background of the tall window (notes pane shown)
  136.bmp  72 x 88  button strip: normal, highlighted, pressed, disabled cells of 72 x 22
  137.bmp  28 x 32  close glyph: normal cell above, highlighted cell below
  138.bmp  28 x 32  minimise glyph, same cells
  139.bmp  56 x 15  notes toggle: tall-normal, tall-hover, small-normal, small-hover
  140.bmp  385 x 205 background of the small window
  update.ico         16, 24, 32, 48 and 256 pixel icon

Pixels of RGB(255, 0, 255) are the colour key: the window shows through them. Edges that meet
the key are blended against the colour the window is known to have beneath them, so the glyphs
stay smooth without a pink fringe.

Run with Debian's Pillow: apt-get install -y python3-pil; /usr/bin/python3 res/draw_skin.py
(add --preview DIR to also write PNG previews of each picture, enlarged).
"""

import io
import math
import os
import random
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = (255, 0, 255)
SS = 4  # supersampling factor for anti-aliased shapes on opaque ground

WIDTH = 385
TALL = 322
SMALL = 205
BANNER_TOP = 32
BANNER_BOTTOM = 95  # last row of the banner band
FOOTER = 40  # height of the footer band, measured from the bottom edge


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def mix(a, b, t):
    """Colour a covered by fraction t of colour b."""
    return lerp(a, b, t)


def vgradient(size, stops):
    """Vertical gradient: stops are (fraction, colour) pairs sorted by fraction."""
    w, h = size
    img = Image.new("RGB", size)
    px = img.load()
    for y in range(h):
        f = y / max(1, h - 1)
        for i in range(len(stops) - 1):
            f0, c0 = stops[i]
            f1, c1 = stops[i + 1]
            if f0 <= f <= f1:
                c = lerp(c0, c1, (f - f0) / max(1e-9, f1 - f0))
                break
        else:
            c = stops[-1][1]
        for x in range(w):
            px[x, y] = c
    return img


# --- colours ---------------------------------------------------------------------------------

TITLE_TOP = (92, 152, 222)
TITLE_BOTTOM = (46, 104, 180)
BANNER_A = (12, 30, 64)
BANNER_B = (20, 50, 98)
BODY_TOP = (44, 100, 172)
BODY_BOTTOM = (34, 82, 148)
FOOT_TOP = (30, 74, 136)
FOOT_BOTTOM = (22, 58, 112)
BORDER = (14, 36, 76)
GOLD = (207, 179, 93)
GOLD_LIGHT = (240, 214, 140)


def title_row_colour(y):
    """Colour of the title area at row y (rows 1..31); x does not matter there."""
    return lerp(TITLE_TOP, TITLE_BOTTOM, (y - 1) / 30.0)


def footer_row_colour(h, y):
    """Colour of the footer band at row y of a window h rows tall."""
    top = h - FOOTER
    return lerp(FOOT_TOP, FOOT_BOTTOM, (y - top) / float(FOOTER - 1))


# --- the program emblem ----------------------------------------------------------------------


def draw_emblem(size, rounded=True):
    """The program's emblem: a blue tile with a gold rising chart and a circling arrow."""
    s = size * SS
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    # tile
    tile = vgradient((s, s), [(0.0, (86, 156, 232)), (1.0, (24, 72, 150))]).convert("RGBA")
    mask = Image.new("L", (s, s), 0)
    md = ImageDraw.Draw(mask)
    r = int(s * 0.22) if rounded else 0
    md.rounded_rectangle([0, 0, s - 1, s - 1], radius=r, fill=255)
    img.paste(tile, (0, 0), mask)
    d = ImageDraw.Draw(img)
    # a soft gloss on the upper half
    gloss = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    gd = ImageDraw.Draw(gloss)
    gd.ellipse([-s * 0.3, -s * 0.9, s * 1.3, s * 0.45], fill=(255, 255, 255, 38))
    gloss_mask = Image.composite(gloss, Image.new("RGBA", (s, s), (0, 0, 0, 0)), mask)
    img = Image.alpha_composite(img, gloss_mask)
    d = ImageDraw.Draw(img)
    if size <= 24:
        # small sizes keep only a bold rising arrow, which stays readable
        pts = [(0.18, 0.74), (0.40, 0.50), (0.55, 0.62), (0.76, 0.36)]
        pts = [(x * s, y * s) for x, y in pts]
        d.line(pts, fill=(255, 214, 100, 255), width=int(s * 0.14), joint="curve")
        tip = [(0.86 * s, 0.22 * s), (0.60 * s, 0.28 * s), (0.80 * s, 0.50 * s)]
        d.polygon(tip, fill=(255, 214, 100, 255))
        return img.resize((size, size), Image.LANCZOS)
    # circling arrow (refresh), white
    lw = max(SS * 2, int(s * 0.085))
    box = [s * 0.17, s * 0.17, s * 0.83, s * 0.83]
    d.arc(box, start=200, end=500 - 40, fill=(255, 255, 255, 255), width=lw)
    # arrow head at the arc's end (angle 100 degrees, measured clockwise from east)
    cx = cy = s / 2
    rad = (box[2] - box[0]) / 2 - lw / 2
    a = math.radians(460 - 360)
    ex, ey = cx + rad * math.cos(a), cy + rad * math.sin(a)
    # tangent direction at the end, clockwise
    tx, ty = -math.sin(a), math.cos(a)
    nx, ny = math.cos(a), math.sin(a)
    hl = s * 0.17
    head = [
        (ex + tx * hl * 0.9, ey + ty * hl * 0.9),
        (ex + nx * hl * 0.75 - tx * hl * 0.25, ey + ny * hl * 0.75 - ty * hl * 0.25),
        (ex - nx * hl * 0.75 - tx * hl * 0.25, ey - ny * hl * 0.75 - ty * hl * 0.25),
    ]
    d.polygon(head, fill=(255, 255, 255, 255))
    # rising chart inside the ring, gold
    pts = [(0.33, 0.62), (0.45, 0.52), (0.54, 0.58), (0.68, 0.38)]
    pts = [(x * s, y * s) for x, y in pts]
    d.line(pts, fill=(255, 208, 96, 255), width=max(SS * 2, int(s * 0.07)), joint="curve")
    # arrow tip on the chart
    tip = [(0.72 * s, 0.32 * s), (0.60 * s, 0.35 * s), (0.70 * s, 0.45 * s)]
    d.polygon(tip, fill=(255, 208, 96, 255))
    return img.resize((size, size), Image.LANCZOS)


# --- backgrounds -----------------------------------------------------------------------------


def draw_banner(img, h):
    """The dark banner band across rows BANNER_TOP..BANNER_BOTTOM with a market-chart motif."""
    w = WIDTH
    bh = BANNER_BOTTOM - BANNER_TOP + 1
    band = Image.new("RGB", (w * SS, bh * SS))
    bd = ImageDraw.Draw(band)
    # diagonal gradient: darker at the left, lighter towards the right
    for x in range(w * SS):
        t = x / (w * SS - 1)
        c = lerp(BANNER_A, BANNER_B, t ** 0.8)
        bd.line([(x, 0), (x, bh * SS)], fill=c)
    band = band.convert("RGBA")
    over = Image.new("RGBA", band.size, (0, 0, 0, 0))
    od = ImageDraw.Draw(over)
    # faint grid
    for gx in range(8, w, 24):
        od.line([(gx * SS, 0), (gx * SS, bh * SS)], fill=(120, 170, 230, 22), width=SS)
    for gy in range(8, bh, 16):
        od.line([(0, gy * SS), (w * SS, gy * SS)], fill=(120, 170, 230, 22), width=SS)
    # a rising market line over candlesticks: a seeded random walk with an upward drift
    rnd = random.Random(20)
    step = 12.0
    n = int(w / step) + 2
    closes = []
    level = 50.0
    for i in range(n):
        level -= 0.75 + rnd.gauss(0, 2.6)
        level = min(56.0, max(12.0, level))
        closes.append(level)
    for i in range(n):
        x = 6 + i * step
        o = closes[i - 1] if i else closes[0] + 2
        c = closes[i]
        hi = min(o, c) - rnd.uniform(1.5, 5)
        lo = max(o, c) + rnd.uniform(1.5, 5)
        up = c < o
        col = (90, 206, 150, 92) if up else (236, 112, 100, 78)
        od.line([(x * SS, hi * SS), (x * SS, lo * SS)], fill=col, width=SS)
        top, bot = min(o, c), max(o, c) + 1
        od.rectangle([(x - 3) * SS, top * SS, (x + 3) * SS, bot * SS], fill=col)
    band = Image.alpha_composite(band, over)
    # the line: a smoothed moving average of the closes
    pts = []
    for i in range(n * 4):
        t = i / 4.0
        k = int(t)
        f = t - k
        a = closes[max(0, k - 1):k + 2]
        b = closes[max(0, k):k + 3]
        ya = sum(a) / len(a)
        yb = sum(b) / len(b)
        y = ya + (yb - ya) * (0.5 - 0.5 * math.cos(math.pi * f))
        pts.append(((6 + t * step) * SS, (y - 4) * SS))
    glow = Image.new("RGBA", band.size, (0, 0, 0, 0))
    gd = ImageDraw.Draw(glow)
    gd.line(pts, fill=(110, 190, 255, 140), width=6 * SS, joint="curve")
    glow = glow.filter(ImageFilter.GaussianBlur(4 * SS))
    band = Image.alpha_composite(band, glow)
    fill = Image.new("RGBA", band.size, (0, 0, 0, 0))
    fd = ImageDraw.Draw(fill)
    fd.polygon(pts + [(pts[-1][0], bh * SS), (pts[0][0], bh * SS)], fill=(90, 160, 240, 30))
    band = Image.alpha_composite(band, fill)
    ld = ImageDraw.Draw(band)
    ld.line(pts, fill=(160, 220, 255, 255), width=int(1.6 * SS), joint="curve")
    for i in (len(pts) // 4, len(pts) // 2, (len(pts) * 3) // 4):
        x, y = pts[i]
        r = 2.2 * SS
        ld.ellipse([x - r * 2, y - r * 2, x + r * 2, y + r * 2], fill=(150, 214, 255, 56))
        ld.ellipse([x - r, y - r, x + r, y + r], fill=(235, 248, 255, 255))
    band = band.convert("RGB").resize((w, bh), Image.LANCZOS)
    img.paste(band, (0, BANNER_TOP))
    d = ImageDraw.Draw(img)
    # edges of the band: a cool highlight above, a gold rule below
    d.line([(0, BANNER_TOP), (w - 1, BANNER_TOP)], fill=(10, 24, 52))
    d.line([(0, BANNER_BOTTOM), (w - 1, BANNER_BOTTOM)], fill=GOLD)
    d.line([(0, BANNER_BOTTOM - 1), (w - 1, BANNER_BOTTOM - 1)], fill=(118, 100, 52))


def round_corners(img, radius):
    """Cuts the window's corners: the key outside the arc, the border colour along it."""
    w, h = img.size
    px = img.load()
    n = 8  # subsamples per axis
    for cy, sy in ((0, 1), (h - 1, -1)):
        for cx, sx in ((0, 1), (w - 1, -1)):
            for j in range(radius):
                for i in range(radius):
                    inside = 0
                    for a in range(n):
                        for b in range(n):
                            dx = radius - (i + (a + 0.5) / n)
                            dy = radius - (j + (b + 0.5) / n)
                            if dx <= 0 or dy <= 0 or dx * dx + dy * dy <= radius * radius:
                                inside += 1
                    cover = inside / (n * n)
                    if cover < 0.35:
                        px[cx + sx * i, cy + sy * j] = KEY
                    elif cover < 0.999:
                        px[cx + sx * i, cy + sy * j] = BORDER
    return img


def draw_background(h):
    w = WIDTH
    img = Image.new("RGB", (w, h))
    # title area
    img.paste(vgradient((w, BANNER_TOP), [(0.0, TITLE_TOP), (1.0, TITLE_BOTTOM)]), (0, 0))
    # body below the banner
    body_h = h - FOOTER - (BANNER_BOTTOM + 1)
    img.paste(vgradient((w, body_h), [(0.0, BODY_TOP), (1.0, BODY_BOTTOM)]), (0, BANNER_BOTTOM + 1))
    # footer band, its colours fixed relative to the bottom edge
    foot = Image.new("RGB", (w, FOOTER))
    fpx = foot.load()
    for y in range(FOOTER):
        c = footer_row_colour(h, h - FOOTER + y)
        for x in range(w):
            fpx[x, y] = c
    img.paste(foot, (0, h - FOOTER))
    draw_banner(img, h)
    d = ImageDraw.Draw(img)
    # gloss on the title area
    d.line([(1, 1), (w - 2, 1)], fill=(150, 196, 244))
    # etched rule above the footer
    d.line([(8, h - FOOTER), (w - 9, h - FOOTER)], fill=(22, 56, 108))
    d.line([(8, h - FOOTER + 1), (w - 9, h - FOOTER + 1)], fill=(70, 126, 194))
    # sunken frame around the notes pane (the pane covers 9..375 x 147..269 in the tall window)
    if h == TALL:
        d.rectangle([8, 146, 376, 270], outline=(20, 52, 100))
        d.line([(377, 146), (377, 271)], fill=(74, 130, 198))
        d.line([(8, 271), (377, 271)], fill=(74, 130, 198))
    # window border
    d.rectangle([0, 0, w - 1, h - 1], outline=BORDER)
    # emblem left of the title
    emblem = draw_emblem(16)
    img.paste(emblem, (10, 9), emblem)
    round_corners(img, 5)
    return img


# --- small pictures --------------------------------------------------------------------------


def draw_progress():
    stops = [
        (0.0, (255, 236, 178)),
        (0.15, (255, 214, 120)),
        (0.5, (246, 180, 58)),
        (0.55, (234, 160, 36)),
        (1.0, (246, 190, 80)),
    ]
    return vgradient((13, 14), stops)


def button_cell(top, bottom, border, highlight, shadow):
    """One 72 x 22 button cell: a rounded gold plate in a dark outline, key outside the corners."""
    w, h = 72, 22
    cell = vgradient((w, h), [(0.0, top), (1.0, bottom)])
    d = ImageDraw.Draw(cell)
    # outer dark outline keeps the edge crisp on any window colour
    d.rectangle([0, 0, w - 1, h - 1], outline=(24, 40, 70))
    d.rectangle([1, 1, w - 2, h - 2], outline=border)
    if highlight:
        d.line([(2, 2), (w - 3, 2)], fill=highlight)
    if shadow:
        d.line([(2, h - 3), (w - 3, h - 3)], fill=shadow)
    px = cell.load()
    # rounded corners: the outermost corner pixel is keyed, the two beside it take the outline
    for (x, y, sx, sy) in ((0, 0, 1, 1), (w - 1, 0, -1, 1), (0, h - 1, 1, -1), (w - 1, h - 1, -1, -1)):
        px[x, y] = KEY
        px[x + sx, y] = (24, 40, 70)
        px[x, y + sy] = (24, 40, 70)
        px[x + sx, y + sy] = (24, 40, 70)
    return cell


def draw_buttons():
    strip = Image.new("RGB", (72, 88))
    cells = [
        button_cell((255, 240, 196), (226, 186, 98), (150, 110, 42), (255, 251, 232), None),
        button_cell((255, 248, 220), (244, 206, 120), (178, 130, 46), (255, 255, 244), None),
        button_cell((212, 168, 80), (242, 210, 140), (118, 84, 28), None, (248, 222, 160)),
        button_cell((232, 230, 226), (204, 202, 198), (164, 162, 158), (246, 245, 243), None),
    ]
    for i, c in enumerate(cells):
        strip.paste(c, (0, i * 22))
    return strip


def coverage_mask(size, draw_fn):
    """Anti-aliased coverage (0..1 per pixel) of shapes drawn white on black by draw_fn."""
    w, h = size
    big = Image.new("L", (w * SS, h * SS), 0)
    draw_fn(ImageDraw.Draw(big), SS)
    small = big.resize((w, h), Image.BOX)
    return [[small.getpixel((x, y)) / 255.0 for x in range(w)] for y in range(h)]


def keyed_layer(size, ground, shapes):
    """A keyed cell: pixels no shape touches are the key; each shape blends over what lies below.

    ground(x, y) is the colour the window has beneath the cell pixel; shapes are (colour, mask)
    pairs, painted in order.
    """
    w, h = size
    img = Image.new("RGB", size, KEY)
    px = img.load()
    for y in range(h):
        for x in range(w):
            cover = 0.0
            colour = ground(x, y)
            for col, mask in shapes:
                a = mask[y][x]
                if a > 0:
                    colour = mix(colour, col, a)
                    cover = max(cover, a)
            if cover >= 0.02:
                px[x, y] = colour
    return img


def glyph_cells(draw_glyph, hot_fill):
    """A 28 x 32 glyph: normal cell above, highlighted cell below; the cell lands on rows 0..15."""
    size = (28, 16)

    def ground(x, y):
        return title_row_colour(max(1, y))

    glyph = coverage_mask(size, draw_glyph)

    def tab(d, s):
        # a tab hanging from under the window's top border, rounded below
        d.rounded_rectangle([1 * s, -6 * s, 27 * s - 1, 16 * s - 1], radius=4 * s, fill=255)
        d.rectangle([1 * s, 0, 27 * s - 1, 1 * s - 1], fill=0)  # keep the top border row visible

    tab_mask = coverage_mask(size, tab)
    normal = keyed_layer(size, ground, [((255, 255, 255), glyph)])
    hot = keyed_layer(size, ground, [(hot_fill, tab_mask), ((255, 255, 255), glyph)])
    out = Image.new("RGB", (28, 32))
    out.paste(normal, (0, 0))
    out.paste(hot, (0, 16))
    return out


def draw_minimise_glyph(d, s):
    d.rectangle([9 * s, 9 * s, 19 * s - 1, 11 * s - 1], fill=255)


def draw_close_glyph(d, s):
    w = 1.7 * s
    d.line([(9.5 * s, 3.5 * s), (18.5 * s, 12.5 * s)], fill=255, width=int(w))
    d.line([(18.5 * s, 3.5 * s), (9.5 * s, 12.5 * s)], fill=255, width=int(w))


def draw_toggle():
    """Four 14 x 15 cells: up chevron (tall window) normal and hover, down chevron (small) too."""
    size = (14, 15)
    strip = Image.new("RGB", (56, 15))

    def box_outline(d, s):
        d.rounded_rectangle([0.5 * s, 0.5 * s, 13.5 * s, 14.5 * s], radius=3 * s, fill=255)
        d.rounded_rectangle([1.5 * s, 1.5 * s, 12.5 * s, 13.5 * s], radius=2 * s, fill=0)

    def box_fill(d, s):
        d.rounded_rectangle([0.5 * s, 0.5 * s, 13.5 * s, 14.5 * s], radius=3 * s, fill=255)

    def chevron(up):
        def fn(d, s):
            if up:
                pts = [(3.5 * s, 9.5 * s), (7.0 * s, 5.8 * s), (10.5 * s, 9.5 * s)]
            else:
                pts = [(3.5 * s, 5.5 * s), (7.0 * s, 9.2 * s), (10.5 * s, 5.5 * s)]
            d.line(pts, fill=255, width=int(1.8 * s), joint="curve")

        return fn

    outline = coverage_mask(size, box_outline)
    filled = coverage_mask(size, box_fill)
    for i, (window_h, up, hover) in enumerate(
        ((TALL, True, False), (TALL, True, True), (SMALL, False, False), (SMALL, False, True))
    ):
        top = window_h - 26

        def ground(x, y, top=top, window_h=window_h):
            return footer_row_colour(window_h, top + y)

        chev = coverage_mask(size, chevron(up))
        if hover:
            shapes = [(GOLD_LIGHT, filled), ((150, 110, 42), outline), ((58, 30, 7), chev)]
        else:
            shapes = [((60, 116, 186), filled), ((168, 200, 238), outline), ((255, 255, 255), chev)]
        strip.paste(keyed_layer(size, ground, shapes), (i * 14, 0))
    return strip


# --- icon ------------------------------------------------------------------------------------


def write_ico(path, sizes):
    """An .ico of 32-bit BMP images (with AND masks), one per size; 256 is stored as PNG."""
    entries = []
    for size in sizes:
        img = draw_emblem(size).convert("RGBA")
        if size >= 256:
            buf = io.BytesIO()
            img.save(buf, format="PNG")
            data = buf.getvalue()
        else:
            w = h = size
            header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
            rows = []
            for y in range(h - 1, -1, -1):
                row = bytearray()
                for x in range(w):
                    r, g, b, a = img.getpixel((x, y))
                    row += bytes((b, g, r, a))
                rows.append(bytes(row))
            mask_stride = ((w + 31) // 32) * 4
            mask = bytearray()
            for y in range(h - 1, -1, -1):
                bits = bytearray(mask_stride)
                for x in range(w):
                    if img.getpixel((x, y))[3] == 0:
                        bits[x // 8] |= 0x80 >> (x % 8)
                mask += bits
            data = header + b"".join(rows) + bytes(mask)
        entries.append((size, data))
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    preview = None
    if len(sys.argv) == 3 and sys.argv[1] == "--preview":
        preview = sys.argv[2]
        os.makedirs(preview, exist_ok=True)
    pictures = {
        134: draw_progress(),
        135: draw_background(TALL),
        136: draw_buttons(),
        137: glyph_cells(draw_close_glyph, (206, 60, 48)),
        138: glyph_cells(draw_minimise_glyph, (96, 158, 226)),
        139: draw_toggle(),
        140: draw_background(SMALL),
    }
    for rid, img in pictures.items():
        img.convert("RGB").save(os.path.join(HERE, "%d.bmp" % rid), format="BMP")
        if preview:
            scale = 1 if img.size[0] > 100 else 8
            img.resize((img.size[0] * scale, img.size[1] * scale), Image.NEAREST).save(
                os.path.join(preview, "%d.png" % rid)
            )
    write_ico(os.path.join(HERE, "update.ico"), [16, 24, 32, 48, 256])
    if preview:
        draw_emblem(256).save(os.path.join(preview, "icon256.png"))
        e = [draw_emblem(s) for s in (16, 24, 32, 48)]
        sheet = Image.new("RGBA", (140, 50), (255, 255, 255, 255))
        x = 2
        for im in e:
            sheet.paste(im, (x, 1), im)
            x += im.size[0] + 4
        sheet.resize((560, 200), Image.NEAREST).save(os.path.join(preview, "icons.png"))


if __name__ == "__main__":
    main()
