#!/usr/bin/python3
"""Draws the application's pictures: the printer photograph (display unlit and lit), the
window icon and the print button's glyph. Run it from anywhere; it writes beside itself.
The generated files are committed, so a build needs no Python."""

import random
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter

HERE = Path(__file__).resolve().parent

# The photographs are drawn four times larger and scaled down, which gives them soft edges.
SCALE = 4
PHOTO_SIZE = (100, 70)


def s(*values):
    return [round(v * SCALE) for v in values]


def vertical_gradient(draw, box, top, bottom):
    x0, y0, x1, y1 = box
    height = max(1, y1 - y0)
    for y in range(y0, y1 + 1):
        t = (y - y0) / height
        colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        draw.line([(x0, y), (x1, y)], fill=colour)


def rounded_mask(size, box, radius):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(box, radius=radius, fill=255)
    return mask


def paste_gradient(image, box, radius, top, bottom):
    layer = Image.new("RGB", image.size)
    vertical_gradient(ImageDraw.Draw(layer), box, top, bottom)
    image.paste(layer, (0, 0), rounded_mask(image.size, box, radius))


def photograph(display_lit):
    size = (PHOTO_SIZE[0] * SCALE, PHOTO_SIZE[1] * SCALE)
    image = Image.new("RGB", size, (255, 255, 255))

    # Soft shadow on the desk.
    shadow = Image.new("L", size, 0)
    ImageDraw.Draw(shadow).ellipse(s(6, 56, 94, 67), fill=110)
    shadow = shadow.filter(ImageFilter.GaussianBlur(3 * SCALE))
    image.paste((170, 170, 170), (0, 0), shadow)

    draw = ImageDraw.Draw(image)

    # Sheet feeder at the back, with a few sheets standing in it.
    draw.polygon(s(24, 16, 76, 16, 72, 4, 28, 4), fill=(150, 153, 158))
    draw.polygon(s(29, 15, 71, 15, 68, 6, 32, 6), fill=(250, 250, 250), outline=(205, 205, 205))

    # Top face, seen slightly from above.
    draw.polygon(s(10, 26, 90, 26, 84, 14, 16, 14), fill=(205, 208, 212))
    draw.polygon(s(18, 20, 82, 20, 80, 16, 20, 16), fill=(120, 123, 128))  # paper slot
    draw.line(s(16, 14, 84, 14), fill=(232, 234, 237), width=SCALE)

    # Front face: brushed silver, lighter at the top.
    paste_gradient(image, s(8, 25, 92, 55), 3 * SCALE, (214, 217, 221), (140, 143, 149))
    draw = ImageDraw.Draw(image)
    draw.line(s(9, 25, 91, 25), fill=(240, 241, 243), width=SCALE)
    for y in range(28, 54, 3):
        draw.line(s(10, y, 90, y), fill=(200, 203, 207), width=1)

    # Display panel at the upper left, with its bezel and two buttons beside it.
    draw.rounded_rectangle(s(12, 28, 31, 36), radius=SCALE, fill=(95, 98, 104))
    if display_lit:
        glow = Image.new("L", size, 0)
        ImageDraw.Draw(glow).rectangle(s(12, 28, 31, 36), fill=150)
        glow = glow.filter(ImageFilter.GaussianBlur(2 * SCALE))
        image.paste((120, 255, 110), (0, 0), glow)
        draw = ImageDraw.Draw(image)
        draw.rounded_rectangle(s(12, 28, 31, 36), radius=SCALE, fill=(95, 98, 104))
        vertical_gradient(draw, s(13.5, 29.5, 29.5, 34.5), (150, 250, 120), (70, 200, 60))
        draw.line(s(15, 31, 24, 31), fill=(30, 110, 30), width=SCALE // 2)
        draw.line(s(15, 33, 27, 33), fill=(30, 110, 30), width=SCALE // 2)
    else:
        vertical_gradient(draw, s(13.5, 29.5, 29.5, 34.5), (58, 66, 62), (38, 44, 41))
        draw.line(s(14, 30, 28, 30), fill=(78, 88, 84), width=SCALE // 2)  # glass reflection
    for cx in (36, 41):
        draw.ellipse(s(cx - 1.8, 30.2, cx + 1.8, 33.8), fill=(95, 98, 104))
        draw.ellipse(s(cx - 1.2, 30.8, cx + 1.2, 33.2), fill=(185, 188, 193))
    draw.ellipse(s(84, 29.5, 88, 33.5), fill=(95, 98, 104))  # power button
    draw.ellipse(s(84.8, 30.3, 87.2, 32.7), fill=(170, 173, 178))

    # Output slot and tray, with a printed sheet lying in it.
    draw.rounded_rectangle(s(16, 40, 84, 46), radius=SCALE, fill=(62, 64, 68))
    draw.polygon(s(14, 46, 86, 46, 93, 60, 7, 60), fill=(176, 179, 184))
    draw.line(s(7, 60, 93, 60), fill=(120, 123, 128), width=SCALE)
    draw.polygon(s(22, 44, 78, 44, 83, 57, 17, 57), fill=(253, 253, 253), outline=(200, 200, 200))
    for i, y in enumerate((47, 49, 51, 53)):
        right = (66, 70, 62, 56)[i]
        draw.line(s(26 - i * 0.6, y, right + i * 0.6, y), fill=(175, 180, 190), width=SCALE // 2)

    photo = image.resize(PHOTO_SIZE, Image.LANCZOS)

    # A little sensor noise, the same for both frames, so they differ only in the display.
    rng = random.Random(7)
    pixels = photo.load()
    for y in range(PHOTO_SIZE[1]):
        for x in range(PHOTO_SIZE[0]):
            r, g, b = pixels[x, y]
            if (r, g, b) == (255, 255, 255):
                continue
            n = rng.randint(-4, 4)
            pixels[x, y] = tuple(max(0, min(255, c + n)) for c in (r, g, b))
    return photo


# The sixteen colours of the standard 4-bit palette; magenta is not drawn with and stands for
# transparency.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT = PALETTE.index((255, 0, 255))

# 32 x 32 drawing, one character per pixel.
ICON_KEY = {
    ".": TRANSPARENT,
    "K": 0,   # outline
    "D": 8,   # dark grey
    "S": 7,   # silver
    "W": 15,  # white
    "B": 12,  # blue text
    "N": 4,   # navy text
    "R": 9,   # red lamp
    "M": 1,   # lamp rim
}
ICON = [
    "................................",
    "........KKKKKKKKKKKKKK..........",
    "........KWWWWWWWWWWWWKK.........",
    "........KWWWWWWWWWWWWKWK........",
    "........KWBBBBBBBBWWWKKKK.......",
    "........KWWWWWWWWWWWWWWWK.......",
    "........KWBBBBBBBBBBBBBWK.......",
    "........KWWWWWWWWWWWWWWWK.......",
    "........KWBBBBBBBBBBBWWWK.......",
    "........KWWWWWWWWWWWWWWWK.......",
    "........KWBBBBBBBBBBBBBWK.......",
    "........KWWWWWWWWWWWWWWWK.......",
    ".....KKKKWNNNNNNNNNWWWWWKKKK....",
    "....KDDDKWWWWWWWWWWWWWWWKDDDK...",
    "...KSSSKKKKKKKKKKKKKKKKKKSSSSK..",
    "..KSWWWWWWWWWWWWWWWWWWWWWWWWSDK.",
    "..KSWSSSSSSSSSSSSSSSSSSSSSSWSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSSSSSSSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSSSSSSSDK.",
    "..KSSKKKKKKKKKKKKKKKKKKKKKSSSDK.",
    "..KSSKDDDDDDDDDDDDDDDDDDDKSSSDK.",
    "..KSSKKKKKKKKKKKKKKKKKKKKKSSSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSSSSSSSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSMMMSSSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSMRRMSSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSMRRMSSDK.",
    "..KSSSSSSSSSSSSSSSSSSSSSMMSSSDK.",
    "..KDDDDDDDDDDDDDDDDDDDDDDDDDDDK.",
    "...KDDDDDDDDDDDDDDDDDDDDDDDDDK..",
    "....KKKKKKKKKKKKKKKKKKKKKKKKKK..",
    "................................",
    "................................",
]


def icon_indexed():
    assert len(ICON) == 32 and all(len(row) == 32 for row in ICON)
    image = Image.new("P", (32, 32), TRANSPARENT)
    image.putpalette([c for colour in PALETTE for c in colour])
    image.putdata([ICON_KEY[ch] for row in ICON for ch in row])
    return image


def main():
    photograph(display_lit=False).save(HERE / "printer.jpg", quality=92, subsampling=0)
    photograph(display_lit=True).save(HERE / "printer-lit.jpg", quality=92, subsampling=0)

    icon = icon_indexed()
    icon.save(HERE / "printer-icon.png", bits=4, transparency=TRANSPARENT, optimize=False)
    icon.save(HERE / "printer-glyph.gif", transparency=TRANSPARENT)
    icon.convert("RGBA").save(HERE / "printer-icon.ico", sizes=[(32, 32)])


if __name__ == "__main__":
    main()
