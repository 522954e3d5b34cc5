#!/usr/bin/python3
"""Draws the application's launcher icon for the desktop: the printer of the window icon
(resources/printer-icon.png) as a vector drawing, written as SVG and as PNG at 32, 64 and 128
pixels. Run it from anywhere; it writes into icons/ beside itself. The output is committed, so a
build needs no Python."""

from pathlib import Path

from PIL import Image, ImageDraw

HERE = Path(__file__).resolve().parent
OUT = HERE / "icons"
UNITS = 128  # the drawing's own square
SIZES = (32, 64, 128)
OVERSAMPLE = 8

OUTLINE = (34, 34, 38)
PAPER = (255, 255, 255)
TEXT = (31, 79, 191)
TEXT_DARK = (20, 36, 110)
BODY_TOP = (222, 225, 229)
BODY_BOTTOM = (141, 144, 150)
SLOT = (62, 64, 68)
BASE = (85, 88, 93)
LAMP = (224, 32, 28)
LAMP_RIM = (122, 0, 0)

# The drawing, back to front: (kind, geometry, fill, outline, stroke width).
SHAPES = [
    ("rect", (16, 104, 112, 118, 4), BASE, None, 0),
    ("rect", (34, 8, 94, 70, 2), PAPER, OUTLINE, 3),
    ("line", (43, 21, 85, 21), TEXT, None, 5),
    ("line", (43, 32, 79, 32), TEXT, None, 5),
    ("line", (43, 43, 85, 43), TEXT, None, 5),
    ("line", (43, 54, 71, 54), TEXT_DARK, None, 5),
    ("gradient", (8, 58, 120, 110, 9), (BODY_TOP, BODY_BOTTOM), OUTLINE, 3),
    ("line", (16, 64, 112, 64), (246, 247, 249), None, 2),
    ("rect", (22, 72, 106, 80, 2), SLOT, None, 0),
    ("circle", (98, 94, 6), LAMP, LAMP_RIM, 2),
]


def hexcolour(c):
    return "#%02x%02x%02x" % c


def svg():
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">',
        "  <title>Orvanel Demo</title>",
        '  <defs><linearGradient id="body" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{hexcolour(BODY_TOP)}"/>'
        f'<stop offset="1" stop-color="{hexcolour(BODY_BOTTOM)}"/></linearGradient></defs>',
    ]
    for kind, g, fill, outline, width in SHAPES:
        stroke = f' stroke="{hexcolour(outline)}" stroke-width="{width}"' if outline else ""
        if kind in ("rect", "gradient"):
            x0, y0, x1, y1, r = g
            paint = "url(#body)" if kind == "gradient" else hexcolour(fill)
            parts.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{r}" '
                         f'fill="{paint}"{stroke}/>')
        elif kind == "line":
            x0, y0, x1, y1 = g
            parts.append(f'  <line x1="{x0}" y1="{y0}" x2="{x1}" y2="{y1}" stroke="{hexcolour(fill)}" '
                         f'stroke-width="{width}" stroke-linecap="round"/>')
        elif kind == "circle":
            cx, cy, r = g
            parts.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{hexcolour(fill)}"{stroke}/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def bitmap(size):
    scale = size * OVERSAMPLE / UNITS
    big = size * OVERSAMPLE
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)

    def s(*values):
        return [round(v * scale) for v in values]

    for kind, g, fill, outline, width in SHAPES:
        w = max(1, round(width * scale)) if width else 0
        if kind == "rect":
            x0, y0, x1, y1, r = g
            draw.rounded_rectangle(s(x0, y0, x1, y1), radius=round(r * scale), fill=fill,
                                   outline=outline, width=w)
        elif kind == "gradient":
            x0, y0, x1, y1, r = g
            top, bottom = fill
            box = s(x0, y0, x1, y1)
            layer = Image.new("RGBA", image.size, (0, 0, 0, 0))
            ld = ImageDraw.Draw(layer)
            for y in range(box[1], box[3] + 1):
                t = (y - box[1]) / max(1, box[3] - box[1])
                ld.line([(box[0], y), (box[2], y)],
                        fill=tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,))
            mask = Image.new("L", image.size, 0)
            ImageDraw.Draw(mask).rounded_rectangle(box, radius=round(r * scale), fill=255)
            image.paste(layer, (0, 0), mask)
            draw = ImageDraw.Draw(image)
            draw.rounded_rectangle(box, radius=round(r * scale), outline=outline, width=w)
        elif kind == "line":
            x0, y0, x1, y1 = g
            draw.line(s(x0, y0, x1, y1), fill=fill, width=w)
            for x, y in ((x0, y0), (x1, y1)):
                cx, cy, half = x * scale, y * scale, w / 2
                draw.ellipse([cx - half, cy - half, cx + half, cy + half], fill=fill)
        elif kind == "circle":
            cx, cy, r = g
            draw.ellipse(s(cx - r, cy - r, cx + r, cy + r), fill=fill, outline=outline, width=w)
    return image.resize((size, size), Image.LANCZOS)


def main():
    OUT.mkdir(exist_ok=True)
    (OUT / "zendrik-demo.svg").write_text(svg())
    for size in SIZES:
        bitmap(size).save(OUT / f"zendrik-demo-{size}.png", optimize=True)


if __name__ == "__main__":
    main()
