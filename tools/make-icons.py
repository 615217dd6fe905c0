#!/usr/bin/env python3
"""Makes the program's icon: packaging/icons/timedisplay.svg and PNGs of the
usual sizes. A scoreboard showing "1:05" in seven-segment digits, drawn from
rectangles only, so the picture needs no fonts and the PNGs (ImageMagick)
match the SVG."""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "packaging", "icons")
SIZE = 64
BOARD = "#1b1b1f"
EDGE = "#ffcc00"
LIT = "#ffcc00"

# Segments of a digit 12 wide, 24 high, 3 thick: (x, y, w, h).
SEG = {
    "a": (2, 0, 8, 3), "b": (9, 2, 3, 9), "c": (9, 13, 3, 9), "d": (2, 21, 8, 3),
    "e": (0, 13, 3, 9), "f": (0, 2, 3, 9), "g": (2, 10.5, 8, 3),
}
DIGITS = {"0": "abcdef", "1": "bc", "5": "afgcd"}


def rects():
    out = []
    x, y = 7.5, 18
    for ch in "1:05":
        if ch == ":":
            out += [(x, y + 6, 3, 3), (x, y + 15, 3, 3)]
            x += 6
            continue
        for s in DIGITS[ch]:
            sx, sy, w, h = SEG[s]
            out.append((x + sx, y + sy, w, h))
        x += 15
    # a rank bar under the time
    out.append((10, 48, 44, 4))
    return out


def svg():
    parts = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" viewBox="0 0 {SIZE} {SIZE}">',
        f'  <rect x="2" y="6" width="60" height="52" rx="6" fill="{BOARD}" stroke="{EDGE}" stroke-width="2"/>',
    ]
    for x, y, w, h in rects():
        parts.append(f'  <rect x="{x:g}" y="{y:g}" width="{w:g}" height="{h:g}" fill="{LIT}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def png(px):
    k = px / SIZE
    draw = [f"fill {BOARD} stroke {EDGE} stroke-width {2 * k:g} roundrectangle {2*k:g},{6*k:g} {62*k:g},{58*k:g} {6*k:g},{6*k:g}"]
    for x, y, w, h in rects():
        draw.append(f"fill {LIT} stroke none rectangle {x*k:g},{y*k:g} {(x+w)*k - 1:g},{(y+h)*k - 1:g}")
    path = os.path.join(OUT, f"timedisplay-{px}.png")
    subprocess.run(["convert", "-size", f"{px}x{px}", "xc:none", "-draw", " ".join(draw),
                    "-strip", f"PNG32:{path}"], check=True)


os.makedirs(OUT, exist_ok=True)
with open(os.path.join(OUT, "timedisplay.svg"), "w") as f:
    f.write(svg())
for px in (16, 32, 48, 64, 128, 256):
    png(px)
print("wrote", OUT)
