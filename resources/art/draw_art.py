#!/usr/bin/env python3
"""Draws the version-page bitmap (resource 130) and the program icon (resource 128).

The pictures are drawn here from geometry and a small pixel font, so that they
can be changed and rebuilt without an image editor. Only the Python standard
library is used; the BMP, ICO and PNG bytes are written by hand.

    python3 resources/art/draw_art.py              # rewrite the files in resources/
    python3 resources/art/draw_art.py --preview    # also write enlarged PNGs to /tmp

Outputs (all 16 colours of the standard Windows palette):
    resources/bitmap130.bmp   260 x 124, 4 bpp, uncompressed, bottom-up
    resources/icon128.ico     32 x 32 and 16 x 16, 4 bpp, with AND masks
    resources/icon128.png     32 x 32 RGBA, for toolkits without an .ico reader
    resources/icon128-16.png  16 x 16 RGBA, the small image likewise (menus, panels)
"""

import argparse
import os
import struct
import zlib

# The standard 16-colour palette, in its usual index order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
(BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER,
 GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE) = range(16)
CLEAR = -1  # icon pixels that show the desktop through the AND mask

# A 5 x 7 pixel font, one string of five cells per row, for the glyphs drawn here.
FONT = {
    ' ': ['.....'] * 7,
    '-': ['.....', '.....', '.....', '#####', '.....', '.....', '.....'],
    '.': ['.....', '.....', '.....', '.....', '.....', '.##..', '.##..'],
    '0': ['.###.', '#...#', '#..##', '#.#.#', '##..#', '#...#', '.###.'],
    '1': ['..#..', '.##..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    '4': ['...#.', '..##.', '.#.#.', '#..#.', '#####', '...#.', '...#.'],
    'B': ['####.', '#...#', '#...#', '####.', '#...#', '#...#', '####.'],
    'C': ['.###.', '#...#', '#....', '#....', '#....', '#...#', '.###.'],
    'D': ['####.', '#...#', '#...#', '#...#', '#...#', '#...#', '####.'],
    'E': ['#####', '#....', '#....', '####.', '#....', '#....', '#####'],
    'H': ['#...#', '#...#', '#...#', '#####', '#...#', '#...#', '#...#'],
    'I': ['.###.', '..#..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    'K': ['#...#', '#..#.', '#.#..', '##...', '#.#..', '#..#.', '#...#'],
    'L': ['#....', '#....', '#....', '#....', '#....', '#....', '#####'],
    'M': ['#...#', '##.##', '#.#.#', '#.#.#', '#...#', '#...#', '#...#'],
    'N': ['#...#', '##..#', '#.#.#', '#..##', '#...#', '#...#', '#...#'],
    'O': ['.###.', '#...#', '#...#', '#...#', '#...#', '#...#', '.###.'],
    'P': ['####.', '#...#', '#...#', '####.', '#....', '#....', '#....'],
    'R': ['####.', '#...#', '#...#', '####.', '#.#..', '#..#.', '#...#'],
    'S': ['.####', '#....', '#....', '.###.', '....#', '....#', '####.'],
    'T': ['#####', '..#..', '..#..', '..#..', '..#..', '..#..', '..#..'],
    'U': ['#...#', '#...#', '#...#', '#...#', '#...#', '#...#', '.###.'],
    'V': ['#...#', '#...#', '#...#', '#...#', '#...#', '.#.#.', '..#..'],
    'W': ['#...#', '#...#', '#...#', '#.#.#', '#.#.#', '##.##', '#...#'],
    'Y': ['#...#', '#...#', '.#.#.', '..#..', '..#..', '..#..', '..#..'],
}


class Canvas:
    """A grid of palette indices, row 0 at the top."""

    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.px = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the box x0 <= x < x1, y0 <= y < y1."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def hline(self, x0, x1, y, colour):
        self.rect(x0, y, x1, y + 1, colour)

    def vline(self, x, y0, y1, colour):
        self.rect(x, y0, x + 1, y1, colour)

    def fill(self, mask, colour):
        for (x, y) in mask:
            self.put(x, y, colour)

    def text(self, x, y, s, colour, scale=1, gap=1, bold=0):
        """Draws s with its top-left corner at (x, y); returns the x after it.
        bold widens every vertical stroke by that many pixels to the right."""
        for ch in s:
            rows = FONT[ch]
            for gy, row in enumerate(rows):
                for gx, cell in enumerate(row):
                    if cell == '#':
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale + bold, y + (gy + 1) * scale, colour)
            x += (5 + gap) * scale
        return x - gap * scale


def text_width(s, scale=1, gap=1):
    return (len(s) * (5 + gap) - gap) * scale


# ---- shapes --------------------------------------------------------------
# A shape is a predicate on a point of the unit square [-1, 1] x [-1, 1], y
# downwards. rasterize() samples each pixel 4 x 4 times and keeps the pixels
# that the shape covers at least half: crisp edges without stray single dots.

def disc(r):
    return lambda x, y: x * x + y * y <= r * r


def ring(r_in, r_out):
    return lambda x, y: r_in * r_in < x * x + y * y <= r_out * r_out


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            (x0, y0), (x1, y1) = points[i], points[(i + 1) % n]
            if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                hit = not hit
        return hit
    return inside


def rasterize(shape, left, top, size):
    """The pixels of shape drawn into the box (left, top, size x size)."""
    n = 4
    pixels = set()
    for py in range(size):
        for px in range(size):
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    ux = ((px + (sx + 0.5) / n) / size) * 2 - 1
                    uy = ((py + (sy + 0.5) / n) / size) * 2 - 1
                    hits += shape(ux, uy)
            if hits * 2 >= n * n:
                pixels.add((left + px, top + py))
    return pixels


def border(mask):
    """The pixels of mask that touch a pixel outside it (4-neighbourhood)."""
    return {(x, y) for (x, y) in mask
            if any(p not in mask for p in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)))}


# The lightning bolt of the emblem: a DC power system's mark.
# Kept inside radius 0.78 so that it clears the white ring.
BOLT = [(0.9 * x, 0.9 * y) for (x, y) in [
    (0.04, -0.72), (0.48, -0.72), (0.18, -0.16), (0.46, -0.16),
    (-0.22, 0.78), (-0.06, 0.06), (-0.36, 0.06)]]


def draw_emblem(canvas, left, top, size, detailed, ring_width=0.06, bolt=True):
    """The emblem: a navy disc with a white inner ring (none when ring_width is
    0) and a black-edged yellow bolt (left out when bolt is false). The detailed
    form, for the large picture, adds a grey drop shadow and a highlight on the
    upper left edge."""
    outer = rasterize(disc(1.0), left, top, size)
    if detailed:
        shadow_offset = max(2, size // 40)
        canvas.fill({(x + shadow_offset, y + shadow_offset) for (x, y) in outer}, GRAY)
    canvas.fill(outer, NAVY)
    canvas.fill(border(outer), BLACK)
    if detailed:
        canvas.fill(rasterize(lambda x, y: ring(0.93, 0.97)(x, y) and x + y < -0.6,
                              left, top, size), BLUE)
    if ring_width:
        canvas.fill(rasterize(ring(0.86 - ring_width, 0.86), left, top, size), WHITE)
    if bolt:
        mark = rasterize(polygon(BOLT), left, top, size)
        canvas.fill(mark, YELLOW)
        canvas.fill(border(mark), BLACK)


# ---- the version-page bitmap ---------------------------------------------

def draw_bitmap():
    c = Canvas(260, 124, SILVER)
    w, h = c.width, c.height
    # raised panel edge: white on top and left, grey and black on bottom and right
    c.hline(0, w - 1, 0, WHITE)
    c.vline(0, 0, h - 1, WHITE)
    c.hline(0, w, h - 1, BLACK)
    c.vline(w - 1, 0, h, BLACK)
    c.hline(1, w - 1, h - 2, GRAY)
    c.vline(w - 2, 1, h - 1, GRAY)

    size = 92
    ex, ey = 10, (h - size) // 2 - 1
    draw_emblem(c, ex, ey, size, detailed=True)

    # an etched rule between the emblem and the text: grey line, white beside it
    rx = ex + size + 10
    c.vline(rx, 12, h - 12, GRAY)
    c.vline(rx + 1, 12, h - 12, WHITE)

    # the text block: product line, protocol bar, subtitle; centred both ways
    left, right = rx + 8, w - 6
    line1, line2, line3 = 'HCU-K40', 'MODBUS RTU', 'DC POWER MONITOR'
    bar_height = 7 * 2 + 8
    block = 7 * 3 + 8 + bar_height + 10 + 7
    y = (h - block) // 2

    def centred(s, scale):
        return left + (right - left - text_width(s, scale)) // 2

    x1 = centred(line1, 3) - 1
    c.text(x1 + 1, y + 1, line1, WHITE, scale=3, bold=1)  # engraved look
    c.text(x1, y, line1, NAVY, scale=3, bold=1)
    y += 7 * 3 + 8

    # a navy bar with the protocol in white, grey below it for depth
    c.rect(left, y, right, y + bar_height, NAVY)
    c.hline(left + 1, right + 1, y + bar_height, GRAY)
    c.vline(right, y + 1, y + bar_height, GRAY)
    c.text(centred(line2, 2), y + 4, line2, WHITE, scale=2)
    y += bar_height + 10

    c.text(centred(line3, 1), y, line3, BLACK)
    return c


# ---- the icon ---------------------------------------------------------------

# At 16 x 16 the geometric bolt breaks up, so the small icon's bolt is drawn by
# hand, pixel by pixel, on the rasterized disc.
SMALL_BOLT = [
    '................',
    '................',
    '................',
    '........####....',
    '.......####.....',
    '......####......',
    '.....####.......',
    '....########....',
    '.......####.....',
    '......####......',
    '.....###........',
    '....##..........',
    '...#............',
    '................',
    '................',
    '................',
]


def draw_icon(size):
    c = Canvas(size, size, CLEAR)
    if size >= 32:
        draw_emblem(c, 0, 0, size, detailed=False, ring_width=0.08)
        return c
    draw_emblem(c, 0, 0, size, detailed=False, ring_width=0, bolt=False)
    for y, row in enumerate(SMALL_BOLT):
        for x, cell in enumerate(row):
            if cell == '#':
                c.put(x, y, YELLOW)
    return c


# ---- file formats -----------------------------------------------------------

def palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)


def dib_rows_4bpp(canvas, clear_as=BLACK):
    """The pixels as 4-bit DIB rows, bottom row first, each padded to 4 bytes."""
    stride = ((canvas.width * 4 + 31) // 32) * 4
    out = bytearray()
    for row in reversed(canvas.px):
        line = bytearray(stride)
        for x, colour in enumerate(row):
            index = clear_as if colour == CLEAR else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        out += line
    return bytes(out)


def info_header(width, height, image_size):
    # BITMAPINFOHEADER: size, width, height, planes, bpp, BI_RGB, image size,
    # 2835 pixels per metre (72 dpi), 16 colours used, all important.
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, image_size,
                       2835, 2835, 16, 0)


def bmp_bytes(canvas):
    pixels = dib_rows_4bpp(canvas)
    offset = 14 + 40 + 16 * 4
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info_header(canvas.width, canvas.height, len(pixels)) + \
        palette_bytes() + pixels


def and_mask(canvas):
    """The 1-bit AND mask: 1 where the desktop shows through, bottom row first."""
    stride = ((canvas.width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(canvas.px):
        line = bytearray(stride)
        for x, colour in enumerate(row):
            if colour == CLEAR:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def ico_bytes(canvases):
    images = []
    for c in canvases:
        xor, mask = dib_rows_4bpp(c), and_mask(c)
        # In an icon the header height counts the XOR and AND bitmaps together.
        images.append(info_header(c.width, 2 * c.height, len(xor) + len(mask)) +
                       palette_bytes() + xor + mask)
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.width % 256, c.height % 256, 16, 0, 1, 4,
                           len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def png_bytes(canvas, scale=1, opaque=None):
    """An RGBA PNG of canvas, each pixel enlarged to scale x scale; CLEAR pixels
    are transparent, or the colour opaque when given."""
    raw = bytearray()
    for row in canvas.px:
        line = bytearray(b'\x00')  # filter type: none
        for colour in row:
            if colour == CLEAR:
                rgba = PALETTE[opaque] + (255,) if opaque is not None else (0, 0, 0, 0)
            else:
                rgba = PALETTE[colour] + (255,)
            line += bytes(rgba) * scale
        raw += bytes(line) * scale

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + \
            struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack('>IIBBBBB', canvas.width * scale, canvas.height * scale, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)
    print(f'wrote {path} ({len(data)} bytes)')


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--out', default=os.path.dirname(here),
                        help='folder for the resource files (default: resources/)')
    parser.add_argument('--preview', metavar='DIR', nargs='?', const='/tmp',
                        help='also write enlarged preview PNGs to DIR (default /tmp)')
    args = parser.parse_args()

    bitmap = draw_bitmap()
    icons = [draw_icon(32), draw_icon(16)]
    write(os.path.join(args.out, 'bitmap130.bmp'), bmp_bytes(bitmap))
    write(os.path.join(args.out, 'icon128.ico'), ico_bytes(icons))
    write(os.path.join(args.out, 'icon128.png'), png_bytes(icons[0]))
    write(os.path.join(args.out, 'icon128-16.png'), png_bytes(icons[1]))
    if args.preview:
        write(os.path.join(args.preview, 'k40_bitmap130_preview.png'), png_bytes(bitmap, 3))
        write(os.path.join(args.preview, 'k40_icon32_preview.png'), png_bytes(icons[0], 8, SILVER))
        write(os.path.join(args.preview, 'k40_icon16_preview.png'), png_bytes(icons[1], 8, SILVER))


if __name__ == '__main__':
    main()
