#!/usr/bin/python3
"""Regenerates Tavro's skin images.

Run from anywhere with Debian's Python (it needs Pillow):

    /usr/bin/python3 tools/make_skin.py

Each picture of the window is written twice: at its size for a 96-dpi screen and, as
NAME@2x.gif, drawn again at twice that size for screens of twice the density, so that a scaled
window draws sharp pictures instead of enlarged pixels.  Both are drawn from the same shapes, in
the 1x picture's coordinates.

Pillow is used only to draw and to render text.  The GIF and ICO bytes are
written here, so that palette sizes, transparent indices and the icon's
directory order are exactly what the window code expects, and so that the
output is byte-identical from run to run.  Every file is decoded again with
Pillow before it is written and compared pixel by pixel with what was meant.
"""

import io
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFont, IcoImagePlugin

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGES = os.path.join(ROOT, "app", "form", "images")
SAMPLES = os.path.join(ROOT, "packaging", "samples")
FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

PRODUCT = "Tavro 在线客服"
TAGLINE = "客服工作台"

# Brand colours: the header runs from BLUE (top left) to TEAL (bottom right).
BLUE = (30, 94, 170)
TEAL = (22, 160, 160)
WHITE = (255, 255, 255)
SS = 4  # supersampling factor for antialiased shapes


# --------------------------------------------------------------------------
# Colour helpers
# --------------------------------------------------------------------------

def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def brand(t):
    return lerp(BLUE, TEAL, t)


def ramp(a, b, n):
    if n == 1:
        return [a]
    return [lerp(a, b, i / (n - 1)) for i in range(n)]


def unique(colours):
    seen = set()
    out = []
    for c in colours:
        if c not in seen:
            seen.add(c)
            out.append(c)
    return out


def fit_palette(colours, size, trans_index=None, trans_colour=(0, 0, 0)):
    """Returns a palette of exactly `size` entries.

    `colours` are the drawing colours, in order; duplicates are dropped and the
    list is padded with a grey ramp.  When `trans_index` is given, that slot
    holds `trans_colour` (what a viewer without transparency would show) and is
    never picked for an opaque pixel.
    """
    usable = size - (1 if trans_index is not None else 0)
    colours = unique(colours)
    if len(colours) > usable:
        raise ValueError("palette overflow: %d colours for %d slots" % (len(colours), usable))
    pad = 0
    while len(colours) < usable:
        g = (pad * 37) % 256
        c = (g, g, g)
        if c not in colours:
            colours.append(c)
        pad += 1
    if trans_index is not None:
        colours.insert(trans_index, trans_colour)
    assert len(colours) == size
    return colours


def quantize(img, palette, trans_index=None, alpha_cut=128):
    """Maps an RGBA image to palette indices (nearest colour, no dithering).

    Pixels whose alpha is below `alpha_cut` become `trans_index`; without a
    transparent index every pixel must be opaque.
    """
    img = img.convert("RGBA")
    candidates = [(i, c) for i, c in enumerate(palette) if i != trans_index]
    cache = {}
    out = []
    for r, g, b, a in img.getdata():
        if a < alpha_cut:
            if trans_index is None:
                raise ValueError("transparent pixel in an image without transparency")
            out.append(trans_index)
            continue
        key = (r, g, b)
        idx = cache.get(key)
        if idx is None:
            best = None
            for i, c in candidates:
                dr, dg, db = r - c[0], g - c[1], b - c[2]
                d = 2 * dr * dr + 4 * dg * dg + 3 * db * db
                if best is None or d < best:
                    best, idx = d, i
            cache[key] = idx
        out.append(idx)
    return out


# --------------------------------------------------------------------------
# GIF writer
# --------------------------------------------------------------------------

def lzw_encode(indices, min_code_size):
    """GIF-flavoured variable-width LZW, packed LSB first."""
    clear = 1 << min_code_size
    eoi = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    code_size = min_code_size + 1
    table = {}
    next_code = eoi + 1
    emit(clear, code_size)
    if not indices:
        emit(eoi, code_size)
    else:
        prefix = indices[0]
        for px in indices[1:]:
            key = (prefix << 8) | px
            code = table.get(key)
            if code is not None:
                prefix = code
                continue
            emit(prefix, code_size)
            table[key] = next_code
            next_code += 1
            # The decoder adds its entries one step behind us, so widen only
            # once the code just assigned no longer fits.
            if next_code - 1 == (1 << code_size) and code_size < 12:
                code_size += 1
            if next_code == 4095:
                emit(clear, code_size)
                table.clear()
                next_code = eoi + 1
                code_size = min_code_size + 1
            prefix = px
        emit(prefix, code_size)
        emit(eoi, code_size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif_bytes(width, height, palette, indices, trans_index=None):
    size = len(palette)
    bits = size.bit_length() - 1
    if size != 1 << bits or not 2 <= size <= 256:
        raise ValueError("GIF colour table size must be a power of two, 2..256")
    if len(indices) != width * height or max(indices) >= size:
        raise ValueError("pixel data does not fit the image")
    out = bytearray(b"GIF89a")
    background = trans_index if trans_index is not None else 0
    # Global colour table present, 8-bit colour resolution, unsorted.
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x70 | (bits - 1), background, 0)
    for c in palette:
        out += bytes(c)
    if trans_index is not None:
        # Graphic Control Extension: no disposal, no delay, transparency on.
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x01, 0, trans_index, 0)
    # One image descriptor covering the whole screen, no local table, not interlaced.
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    min_code_size = max(2, bits)
    out.append(min_code_size)
    out += sub_blocks(lzw_encode(indices, min_code_size))
    out.append(0x3B)
    return bytes(out)


def check_gif(data, width, height, palette, indices, trans_index):
    im = Image.open(io.BytesIO(data))
    assert im.format == "GIF" and im.size == (width, height), (im.format, im.size)
    assert getattr(im, "n_frames", 1) == 1
    assert im.info.get("transparency") == trans_index, im.info.get("transparency")
    im.load()
    got = list(im.getdata())
    if got != indices:
        bad = next(i for i, (a, b) in enumerate(zip(got, indices)) if a != b)
        raise AssertionError("GIF round trip differs at pixel %d" % bad)
    pal = im.getpalette()[:3 * len(palette)]
    assert pal == [v for c in palette for v in c], "palette round trip differs"


# --------------------------------------------------------------------------
# Drawing helpers
# --------------------------------------------------------------------------

def font(size):
    return ImageFont.truetype(FONT_PATH, size)


def shape_mask(size, draw_fn, k=1):
    """An antialiased coverage mask `k` times `size`: `draw_fn(draw, s)` draws at s-times scale."""
    w, h = size
    big = Image.new("L", (w * k * SS, h * k * SS), 0)
    draw_fn(ImageDraw.Draw(big), SS * k)
    return big.resize((w * k, h * k), Image.BOX)


def scale_mask(mask, opacity):
    return mask.point(lambda v: int(round(v * opacity)))


def fill(img, colour, mask):
    """Paints `colour` over `img` with `mask` as its coverage."""
    layer = Image.new("RGBA", img.size, colour + (0,))
    layer.putalpha(mask)
    img.alpha_composite(layer)


def text_mask(size, text, font_size, xy, anchor="mm", k=1):
    mask = Image.new("L", (size[0] * k, size[1] * k), 0)
    ImageDraw.Draw(mask).text((xy[0] * k, xy[1] * k), text, fill=255, font=font(font_size * k), anchor=anchor)
    return mask


def gradient(size, t_of, k=1):
    """The brand gradient `k` times `size`; `t_of` takes the 1x picture's coordinates."""
    w, h = size[0] * k, size[1] * k
    img = Image.new("RGBA", (w, h))
    img.putdata([brand(t_of(x / k, y / k)) + (255,) for y in range(h) for x in range(w)])
    return img


def rounded_top_corners(img, radius, k=1):
    """Cuts the two top corners of `img` (`k` times its 1x size) round (alpha 0 outside the arc)."""
    w, h = img.size[0] // k, img.size[1] // k

    def draw(d, s):
        d.rectangle([0, 0, w * s, h * s], fill=255)
        for cx in (radius, w - radius):
            d.rectangle([(cx - radius) * s, 0, (cx + radius) * s, radius * s], fill=0)
            d.ellipse([(cx - radius) * s, 0, (cx + radius) * s - 1, 2 * radius * s - 1], fill=255)
        d.rectangle([radius * s, 0, (w - radius) * s - 1, radius * s], fill=255)

    keep = shape_mask((w, h), draw, k)
    alpha = img.getchannel("A")
    img.putalpha(Image.composite(alpha, Image.new("L", img.size, 0), keep.point(lambda v: 255 if v >= 128 else 0)))


def bubble(d, s, box, radius, tail_left=True):
    """A speech bubble: rounded rectangle with a tail under its lower left."""
    x0, y0, x1, y1 = box
    d.rounded_rectangle([x0 * s, y0 * s, x1 * s, y1 * s], radius=radius * s, fill=255)
    w = x1 - x0
    h = y1 - y0
    if tail_left:
        tx = x0 + w * 0.22
        d.polygon([(tx * s, (y1 - h * 0.15) * s), ((tx + w * 0.24) * s, (y1 - h * 0.05) * s),
                   ((tx - w * 0.08) * s, (y1 + h * 0.30) * s)], fill=255)
    else:
        tx = x1 - w * 0.22
        d.polygon([(tx * s, (y1 - h * 0.15) * s), ((tx - w * 0.24) * s, (y1 - h * 0.05) * s),
                   ((tx + w * 0.08) * s, (y1 + h * 0.30) * s)], fill=255)


# --------------------------------------------------------------------------
# The header banner (317 x 204, 256 colours, transparent index 255)
# --------------------------------------------------------------------------

HEADER_W, HEADER_H = 317, 204
HEADER_TRANS = 255
GLOW = 0.07          # opacity of the two large soft circles
BACK_BUBBLE = 0.35   # opacity of the bubble behind the emblem
DOTS = brand(0.15)   # the typing dots inside the emblem


def header_t(x, y):
    return min(1.0, max(0.0, 0.30 * x / (HEADER_W - 1) + 0.70 * y / (HEADER_H - 1)))


def draw_header(k=1):
    w, h = HEADER_W, HEADER_H
    img = gradient((w, h), header_t, k)

    glow = shape_mask((w, h), lambda d, s: (
        d.ellipse([(330 - 100) * s, (10 - 100) * s, (330 + 100) * s, (10 + 100) * s], fill=255),
        d.ellipse([(10 - 70) * s, (200 - 70) * s, (10 + 70) * s, (200 + 70) * s], fill=255)), k)
    fill(img, WHITE, scale_mask(glow, GLOW))

    # Emblem: a faint bubble answered by a white one holding three dots.
    back = shape_mask((w, h), lambda d, s: bubble(d, s, (166, 30, 214, 64), 12, tail_left=False), k)
    fill(img, WHITE, scale_mask(back, BACK_BUBBLE))
    front = shape_mask((w, h), lambda d, s: bubble(d, s, (112, 42, 172, 82), 14), k)
    fill(img, WHITE, front)
    dots = shape_mask((w, h), lambda d, s: [
        d.ellipse([(cx - 4) * s, (62 - 4) * s, (cx + 4) * s, (62 + 4) * s], fill=255)
        for cx in (128, 142, 156)], k)
    fill(img, DOTS, dots)

    fill(img, WHITE, text_mask((w, h), PRODUCT, 26, (w // 2, 124), k=k))

    fill(img, WHITE, scale_mask(text_mask((w, h), TAGLINE, 14, (w // 2, 158), k=k), 0.92))
    # The rules beside the tagline keep the 1x picture's places at every size.
    left, _, right, _ = ImageDraw.Draw(Image.new("L", (1, 1))).textbbox((w // 2, 158), TAGLINE,
                                                                        font=font(14), anchor="mm")
    rules = shape_mask((w, h), lambda d, s: (
        d.rectangle([(left - 46) * s, 158 * s, (left - 10) * s - 1, 159 * s - 1], fill=255),
        d.rectangle([(right + 10) * s, 158 * s, (right + 46) * s - 1, 159 * s - 1], fill=255)), k)
    fill(img, WHITE, scale_mask(rules, 0.5))

    rounded_top_corners(img, 8, k)
    return img


def brand_span(t0, t1, n, white=0.0):
    """`n` brand colours for t in [t0, t1], washed `white` towards white."""
    return [lerp(brand(t0 + (t1 - t0) * i / (n - 1)), WHITE, white) for i in range(n)]


def header_palette(trans_colour):
    # Each layer gets shades only over the stretch of the gradient it covers,
    # which keeps the steps between neighbouring shades below visibility.
    colours = [WHITE]
    colours += brand_span(0.0, 1.0, 72)                      # background
    colours += brand_span(0.20, 0.70, 16, GLOW)              # top-right glow
    colours += brand_span(0.44, 0.80, 16, GLOW)              # bottom-left glow
    colours += brand_span(0.24, 0.48, 14, BACK_BUBBLE)       # answering bubble
    for w in (0.12, 0.22, 0.34, 0.46, 0.58, 0.70, 0.82, 0.92):
        colours += brand_span(0.25, 0.85, 14, w)             # text and emblem edges
    colours += [lerp(DOTS, WHITE, k / 14) for k in range(14)]
    colours += [lerp(DOTS, brand(0.3), k / 4) for k in range(1, 4)]
    return fit_palette(colours, 256, HEADER_TRANS, trans_colour)


# --------------------------------------------------------------------------
# Caption buttons.  They sit on the header's top right, so their edges are
# blended against the header colour found there (the "matte").
# --------------------------------------------------------------------------

CLOSE_SIZE = 32
CLOSE_SHOWN = (21, 28)   # only this upper-left part is shown
CLOSE_TRANS = 135
MIN_W, MIN_H = 26, 17


def draw_cross(size, centre, arm, width, matte, k=1):
    """A white "×" antialiased against `matte`, transparent elsewhere."""
    cx, cy = centre

    def draw(d, s):
        for (x0, y0, x1, y1) in ((cx - arm, cy - arm, cx + arm, cy + arm),
                                 (cx - arm, cy + arm, cx + arm, cy - arm)):
            d.line([(x0 * s, y0 * s), (x1 * s, y1 * s)], fill=255, width=int(width * s))

    cover = shape_mask(size, draw, k)
    img = Image.new("RGBA", cover.size, matte + (255,))
    fill(img, WHITE, cover)
    # Faint edge pixels drop out to the transparent index.
    img.putalpha(cover.point(lambda v: 255 if v >= 40 else 0))
    return img


def draw_close(matte, k=1):
    img = Image.new("RGBA", (CLOSE_SIZE * k, CLOSE_SIZE * k), (0, 0, 0, 0))
    sw, sh = CLOSE_SHOWN
    img.paste(draw_cross((sw, sh), (sw / 2, sh / 2), 4.5, 2.2, matte, k), (0, 0))
    return img


def close_palette(matte):
    colours = ramp(matte, WHITE, 160) + ramp((0, 0, 0), WHITE, 64)
    return fit_palette(colours, 256, CLOSE_TRANS, matte)


def draw_minimize(matte, k=1):
    img = Image.new("RGBA", (MIN_W * k, MIN_H * k), matte + (255,))
    bar = shape_mask((MIN_W, MIN_H), lambda d, s: d.rectangle(
        [8 * s, 10 * s, 18 * s - 1, 12 * s - 1], fill=255), k)
    fill(img, WHITE, bar)
    return img


def minimize_palette(matte):
    return fit_palette(ramp(matte, WHITE, 48) + ramp((0, 0, 0), WHITE, 16), 64)


# --------------------------------------------------------------------------
# Window background tile (16 x 16, 128 colours, transparent index 100)
# --------------------------------------------------------------------------

WINDOW_TRANS = 100
PAPER = (244, 247, 251)
THREAD = (229, 236, 245)
FLECK = (214, 225, 238)


def draw_window_tile(k=1):
    img = Image.new("RGBA", (16, 16), PAPER + (255,))
    px = img.load()
    for y in range(16):
        for x in range(16):
            if (x + y) % 8 == 0:        # fine diagonal weave
                px[x, y] = THREAD + (255,)
    for x, y in ((3, 11), (11, 3)):
        px[x, y] = FLECK + (255,)
    # A pattern of single pixels: its sharp copy at k times is each pixel k times over.
    return img.resize((16 * k, 16 * k), Image.NEAREST)


def window_palette():
    colours = [PAPER, THREAD, FLECK] + ramp(FLECK, WHITE, 40) + ramp(BLUE, WHITE, 40) + ramp(TEAL, WHITE, 44)
    return fit_palette(colours, 128, WINDOW_TRANS, PAPER)


# --------------------------------------------------------------------------
# Logged-in layout samples
# --------------------------------------------------------------------------

STRIP_W, STRIP_H = 318, 27
SMALL_CLOSE_W, SMALL_CLOSE_H = 28, 15


def draw_strip():
    w, h = STRIP_W, STRIP_H
    img = gradient((w, h), lambda x, y: 0.9 * x / (w - 1) + 0.1 * y / (h - 1))
    mark = shape_mask((w, h), lambda d, s: bubble(d, s, (8, 6, 23, 17), 4))
    fill(img, WHITE, mark)
    fill(img, WHITE, text_mask((w, h), PRODUCT, 12, (29, h // 2), anchor="lm"))
    rounded_top_corners(img, 5)
    return img


def strip_palette():
    colours = [WHITE] + [brand(i / 95) for i in range(96)]
    for wgt in (0.2, 0.35, 0.5, 0.65, 0.8, 0.92):
        colours += [lerp(brand(i / 15), WHITE, wgt) for i in range(16)]
    return fit_palette(colours, 256, 255, brand(0.0))


def small_close_palette(matte):
    return fit_palette(ramp(matte, WHITE, 40) + ramp((0, 0, 0), WHITE, 16), 64, 63, matte)


# --------------------------------------------------------------------------
# Application icon: 48/32/16 at 4, 8 and 32 bits per pixel
# --------------------------------------------------------------------------

ICON_SIZES = (48, 32, 16)
ICON_DEPTHS = (4, 8, 32)
ICON_OUTLINE = (18, 66, 128)


def draw_icon(n):
    """A brand-gradient speech bubble carrying a white "T"."""
    # Paint everything opaque first, then cut the bubble's outline out, so
    # that edge pixels keep their true colour rather than fading to black.
    img = gradient((n, n), lambda x, y: min(1.0, (x + y) / (2 * (n - 1))))
    x0, y0, x1, y1 = n * 0.06, n * 0.08, n * 0.94, n * 0.76
    outer = shape_mask((n, n), lambda d, s: bubble(d, s, (x0, y0, x1, y1), n * 0.2))
    # A thin darker rim keeps the shape readable on light panels.
    inset = max(1.0, n / 24)
    inner = shape_mask((n, n), lambda d, s: bubble(
        d, s, (x0 + inset, y0 + inset, x1 - inset, y1 - inset), n * 0.2 - inset))
    fill(img, ICON_OUTLINE, scale_mask(inner.point(lambda v: 255 - v), 0.45))
    bar = max(2.0, n * 0.12)
    cx = n / 2
    tee = shape_mask((n, n), lambda d, s: (
        d.rectangle([(cx - n * 0.24) * s, (n * 0.2) * s, (cx + n * 0.24) * s, (n * 0.2 + bar) * s], fill=255),
        d.rectangle([(cx - bar / 2) * s, (n * 0.2) * s, (cx + bar / 2) * s, (n * 0.66) * s], fill=255)))
    fill(img, WHITE, tee)
    img.putalpha(outer)
    return img


def icon_palette(depth):
    if depth == 4:
        colours = [(0, 0, 0)] + [brand(i / 5) for i in range(6)] + [lerp(brand(i / 2), WHITE, 0.5) for i in range(3)]
        colours += [lerp(ICON_OUTLINE, brand(0.5), 0.5), ICON_OUTLINE, (192, 192, 192), (128, 128, 128),
                    lerp(brand(0.5), WHITE, 0.8), WHITE]
        return fit_palette(colours, 16)
    colours = [(0, 0, 0), WHITE]
    for w in (0.0, 0.12, 0.25, 0.38, 0.5, 0.62, 0.75, 0.88):
        colours += [lerp(brand(i / 23), WHITE, w) for i in range(24)]
    colours += [lerp(lerp(brand(i / 11), ICON_OUTLINE, 0.45), WHITE, w)
                for w in (0.0, 0.3, 0.6) for i in range(12)]
    return fit_palette(colours, 256)


def dib_bytes(img, depth):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap, AND mask."""
    w, h = img.size
    rgba = list(img.getdata())
    opaque = [a >= 128 for (_, _, _, a) in rgba]
    if depth == 32:
        opaque = [a > 0 for (_, _, _, a) in rgba]
    palette = []
    if depth in (4, 8):
        palette = icon_palette(depth)
        flat = Image.new("RGBA", (w, h))
        flat.putdata([(r, g, b, 255) if o else (0, 0, 0, 255) for (r, g, b, _), o in zip(rgba, opaque)])
        indices = quantize(flat, palette)
        indices = [i if o else 0 for i, o in zip(indices, opaque)]

    xor_stride = (w * depth + 31) // 32 * 4
    and_stride = (w + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(h)):  # DIB rows run bottom-up
        row = bytearray()
        if depth == 32:
            for x in range(w):
                r, g, b, a = rgba[y * w + x]
                row += bytes((b, g, r, a)) if a else b"\0\0\0\0"
        elif depth == 8:
            row += bytes(indices[y * w:(y + 1) * w])
        else:
            line = indices[y * w:(y + 1) * w]
            for x in range(0, w, 2):
                row.append((line[x] << 4) | (line[x + 1] if x + 1 < w else 0))
        row += b"\0" * (xor_stride - len(row))
        xor += row
        bits = bytearray(and_stride)
        for x in range(w):
            if not opaque[y * w + x]:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits

    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, depth, 0, len(xor) + len(mask), 0, 0,
                         len(palette), 0)
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    expected = (rgba, opaque, palette, indices if depth != 32 else None)
    return header + pal + bytes(xor) + bytes(mask), expected


def ico_bytes():
    images = []
    for depth in ICON_DEPTHS:
        for n in ICON_SIZES:
            data, expected = dib_bytes(draw_icon(n), depth)
            images.append((n, depth, data, expected))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, depth, data, _ in images:
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 16 if depth == 4 else 0, 0, 1, depth,
                           len(data), offset)
        offset += len(data)
    for _, _, data, _ in images:
        out += data
    return bytes(out), images


def check_ico(data, images):
    ico = IcoImagePlugin.IcoFile(io.BytesIO(data))
    assert len(ico.entry) == len(images)
    # Pillow sorts its entries by size and depth; find ours by offset.
    by_offset = {e["offset"]: k for k, e in enumerate(ico.entry)}
    offset = 6 + 16 * len(images)
    for n, depth, dib, (rgba, opaque, palette, indices) in images:
        k = by_offset[offset]
        offset += len(dib)
        entry = ico.entry[k]
        assert (entry["width"], entry["height"], entry["bpp"]) == (n, n, depth), entry
        got = list(ico.frame(k).convert("RGBA").getdata())
        for p, (pix, o) in enumerate(zip(got, opaque)):
            if depth == 32:
                want = rgba[p] if o else (0, 0, 0, 0)
                assert pix == want, (n, depth, p, pix, want)
            else:
                assert (pix[3] == 255) == o, (n, depth, p, pix)
                if o:
                    assert pix[:3] == palette[indices[p]], (n, depth, p, pix)


# --------------------------------------------------------------------------

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (os.path.relpath(path, ROOT), len(data)))


def make_gif(path, img, palette, trans_index):
    indices = quantize(img, palette, trans_index)
    w, h = img.size
    data = gif_bytes(w, h, palette, indices, trans_index)
    check_gif(data, w, h, palette, indices, trans_index)
    write(path, data)
    return indices


def main():
    # The caption buttons are laid over the header's top-right corner; both sizes of them are
    # blended against the 1x header's colour there.
    matte = draw_header().getpixel((HEADER_W - 20, 14))[:3]
    for k, suffix in ((1, ""), (2, "@2x")):
        used = make_gif(os.path.join(IMAGES, "header%s.gif" % suffix), draw_header(k), header_palette(matte),
                        HEADER_TRANS)
        assert HEADER_TRANS in used, "header carries no transparent pixels"

        used = make_gif(os.path.join(IMAGES, "close%s.gif" % suffix), draw_close(matte, k), close_palette(matte),
                        CLOSE_TRANS)
        assert CLOSE_TRANS in used and any(i != CLOSE_TRANS for i in used)

        make_gif(os.path.join(IMAGES, "minimize%s.gif" % suffix), draw_minimize(matte, k), minimize_palette(matte),
                 None)
        make_gif(os.path.join(IMAGES, "window%s.gif" % suffix), draw_window_tile(k), window_palette(), WINDOW_TRANS)

    data, images = ico_bytes()
    check_ico(data, images)
    write(os.path.join(IMAGES, "tavro.ico"), data)

    strip = draw_strip()
    make_gif(os.path.join(SAMPLES, "界面_03.gif"), strip, strip_palette(), 255)
    strip_matte = strip.getpixel((STRIP_W - 14, STRIP_H // 2))[:3]
    make_gif(os.path.join(SAMPLES, "界面_06.gif"),
             draw_cross((SMALL_CLOSE_W, SMALL_CLOSE_H), (SMALL_CLOSE_W / 2, SMALL_CLOSE_H / 2), 3.5, 1.6,
                        strip_matte),
             small_close_palette(strip_matte), 63)
    return 0


if __name__ == "__main__":
    sys.exit(main())
