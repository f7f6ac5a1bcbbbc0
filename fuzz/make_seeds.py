#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora: tiny valid pictures of many kinds, built here.

Usage: make_seeds.py OUT_DIR
  OUT_DIR/pictures/  the pictures themselves
  OUT_DIR/picture/   inputs of fuzz_picture: pairs of pictures in its framing
  OUT_DIR/fourier/   inputs of fuzz_fourier: dimension lists, signs and values

fuzz_picture's framing: byte 0 picks the file extensions (low nibble left,
high nibble right, indices into Extensions in PictureFuzzer.cpp), bytes 1-2
are the left file's length (little-endian), then the left file, then the right.
"""
import os
import struct
import sys
import zlib

# Must match the table in PictureFuzzer.cpp.
EXTENSIONS = ["", ".png", ".bmp", ".jpg", ".gif", ".pgm", ".ppm", ".pbm",
              ".ico", ".tga", ".tif", ".webp", ".xpm", ".txt", ".mng", ".wbmp"]


def colour(x, y):
    """A small test pattern: distinct red, green and blue per pixel."""
    return ((x * 53 + y * 17) & 0xff, (x * 29 + y * 71 + 40) & 0xff, (x * y * 13 + 90) & 0xff)


# --- PNG ---------------------------------------------------------------------

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def png_filter(rows, bpp):
    """Filters each row with type (row index mod 5), so every filter is seen."""
    out = bytearray()
    prev = bytes(len(rows[0])) if rows else b""
    for i, row in enumerate(rows):
        kind = i % 5
        out.append(kind)
        for j, v in enumerate(row):
            a = row[j - bpp] if j >= bpp else 0
            b = prev[j]
            c = prev[j - bpp] if j >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            out.append((v - pred) & 0xff)
        prev = row
    return bytes(out)


def png(width, height, colour_type, depth, pixel, palette=None, trns=None, interlace=False):
    """pixel(x, y) gives the samples of one pixel as a tuple of ints."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    bits = channels * depth
    bpp = max(1, bits // 8)

    def pack_row(xs, y):
        if depth >= 8:
            fmt = ">" + ("H" if depth == 16 else "B") * channels
            return b"".join(struct.pack(fmt, *pixel(x, y)) for x in xs)
        acc, n, out = 0, 0, bytearray()
        for x in xs:
            acc = (acc << depth) | pixel(x, y)[0]
            n += depth
            if n == 8:
                out.append(acc)
                acc, n = 0, 0
        if n:
            out.append(acc << (8 - n))
        return bytes(out)

    if interlace:  # Adam7: (x0, y0, dx, dy) of the seven passes
        data = b""
        for x0, y0, dx, dy in [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4),
                               (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]:
            xs = list(range(x0, width, dx))
            rows = [pack_row(xs, y) for y in range(y0, height, dy)] if xs else []
            if rows:
                data += png_filter(rows, bpp)
    else:
        data = png_filter([pack_row(range(width), y) for y in range(height)], bpp)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlace else 0)
    out = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
    if palette:
        out += png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns:
        out += png_chunk(b"tRNS", trns)
    out += png_chunk(b"IDAT", zlib.compress(data, 9)) + png_chunk(b"IEND", b"")
    return out


# --- BMP ---------------------------------------------------------------------

def bmp(width, height, bits=24):
    palette = b""
    if bits == 8:
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in (colour(i, i) for i in range(16)))
    stride = (width * bits // 8 + 3) & ~3
    rows = []
    for y in reversed(range(height)):  # bottom-up
        if bits == 8:
            row = bytes((x + y) % 16 for x in range(width))
        else:
            row = b"".join(bytes(reversed(colour(x, y))) + (b"\xff" if bits == 32 else b"")
                           for x in range(width))
        rows.append(row + bytes(stride - len(row)))
    pixels = b"".join(rows)
    offset = 14 + 40 + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835,
                       16 if bits == 8 else 0, 0)
    return header + info + palette + pixels


# --- GIF ---------------------------------------------------------------------

def gif_lzw(indices, min_code_size):
    """LZW data that restarts the table every two codes, so its width never grows."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    width = min_code_size + 1
    codes = []
    for i, v in enumerate(indices):
        if i % 2 == 0:
            codes.append(clear)
        codes.append(v)
    codes.append(end)
    acc, n, out = 0, 0, bytearray()
    for c in codes:
        acc |= c << n
        n += width
        while n >= 8:
            out.append(acc & 0xff)
            acc >>= 8
            n -= 8
    if n:
        out.append(acc & 0xff)
    blocks = b"".join(bytes((len(out[i:i + 255]),)) + bytes(out[i:i + 255])
                      for i in range(0, len(out), 255))
    return bytes((min_code_size,)) + blocks + b"\x00"


def gif(width, height, frames):
    """frames: list of functions (x, y) -> palette index 0..3."""
    palette = bytes((0, 0, 0, 255, 255, 255, 200, 30, 30, 30, 30, 200))
    out = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0) + palette
    if len(frames) > 1:
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for frame in frames:
        out += b"\x21\xf9\x04\x00" + struct.pack("<H", 10) + b"\x00\x00"
        out += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        out += gif_lzw([frame(x, y) for y in range(height) for x in range(width)], 2)
    return out + b"\x3b"


# --- JPEG (baseline, every block flat, so only DC coefficients) --------------

DC_COUNTS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]  # the usual luminance DC table
DC_VALUES = list(range(12))


def huffman_codes(counts, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


def segment(marker, data):
    return b"\xff" + bytes((marker,)) + struct.pack(">H", len(data) + 2) + data


def jpeg(width, height, components):
    """components: one function (block x, block y) -> level 0..255 per component."""
    nc = len(components)
    dc = huffman_codes(DC_COUNTS, DC_VALUES)
    out = b"\xff\xd8"
    out += segment(0xDB, b"\x00" + bytes([8] * 64))  # DC quantised by 8: coefficient = level - 128
    sof = struct.pack(">BHHB", 8, height, width, nc)
    sof += b"".join(bytes((i + 1, 0x11, 0)) for i in range(nc))
    out += segment(0xC0, sof)
    out += segment(0xC4, b"\x00" + bytes(DC_COUNTS) + bytes(DC_VALUES))
    out += segment(0xC4, b"\x10" + bytes([1] + [0] * 15) + b"\x00")  # AC: only end-of-block, code 0
    sos = bytes((nc,)) + b"".join(bytes((i + 1, 0x00)) for i in range(nc)) + b"\x00\x3f\x00"
    out += segment(0xDA, sos)
    bits = []

    def put(value, length):
        bits.extend((value >> (length - 1 - i)) & 1 for i in range(length))

    previous = [0] * nc
    for by in range((height + 7) // 8):
        for bx in range((width + 7) // 8):
            for c, level in enumerate(components):
                coefficient = level(bx, by) - 128
                diff = coefficient - previous[c]
                previous[c] = coefficient
                category = abs(diff).bit_length()
                put(*dc[category])
                if category:
                    put(diff if diff > 0 else diff + (1 << category) - 1, category)
                put(0, 1)  # end of block
    bits.extend([1] * (-len(bits) % 8))
    data = bytearray()
    for i in range(0, len(bits), 8):
        byte = int("".join(map(str, bits[i:i + 8])), 2)
        data.append(byte)
        if byte == 0xff:
            data.append(0)
    return out + bytes(data) + b"\xff\xd9"


# --- PNM ---------------------------------------------------------------------

def pnm(kind, width, height):
    if kind == "P5":
        body = bytes(colour(x, y)[0] for y in range(height) for x in range(width))
        return b"P5\n%d %d\n255\n" % (width, height) + body
    if kind == "P6":
        body = b"".join(bytes(colour(x, y)) for y in range(height) for x in range(width))
        return b"P6\n%d %d\n255\n" % (width, height) + body
    if kind == "P2":
        rows = [" ".join(str(colour(x, y)[1] % 16) for x in range(width)) for y in range(height)]
        return ("P2\n# gray\n%d %d\n15\n%s\n" % (width, height, "\n".join(rows))).encode()
    if kind == "P4":
        stride = (width + 7) // 8
        body = b"".join(bytes(((0xA5 >> (y % 4)) & 0xff,) * stride) for y in range(height))
        return b"P4\n%d %d\n" % (width, height) + body
    raise ValueError(kind)


def pictures():
    rgb = lambda x, y: colour(x, y)
    gray = lambda x, y: (colour(x, y)[0],)
    seeds = {
        "rgb_4x4.png": png(4, 4, 2, 8, rgb),
        "rgb_8x8_interlaced.png": png(8, 8, 2, 8, rgb, interlace=True),
        "gray_4x4.png": png(4, 4, 0, 8, gray),
        "gray1_8x2.png": png(8, 2, 0, 1, lambda x, y: ((x + y) % 2,)),
        "gray16_4x4.png": png(4, 4, 0, 16, lambda x, y: (gray(x, y)[0] * 257,)),
        "rgb16_2x2.png": png(2, 2, 2, 16, lambda x, y: tuple(v * 257 for v in rgb(x, y))),
        "indexed_4x4.png": png(4, 4, 3, 8, lambda x, y: ((x + y) % 4,),
                               palette=[(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]),
        "indexed2_4x2.png": png(4, 2, 3, 2, lambda x, y: ((x * y) % 4,),
                                palette=[(9, 9, 9), (90, 0, 0), (0, 90, 0), (0, 0, 90)],
                                trns=b"\x00\x80"),
        "gray_alpha_2x2.png": png(2, 2, 4, 8, lambda x, y: (gray(x, y)[0], 60 * x + 100 * y)),
        "rgba_4x4.png": png(4, 4, 6, 8, lambda x, y: rgb(x, y) + ((x * 80) & 0xff,)),
        "rgb_1x1.png": png(1, 1, 2, 8, rgb),
        "rgb_1x4.png": png(1, 4, 2, 8, rgb),
        "rgb_4x1.png": png(4, 1, 2, 8, rgb),
        "rgb_4x4.bmp": bmp(4, 4),
        "rgb_1x1.bmp": bmp(1, 1),
        "rgbx_2x2.bmp": bmp(2, 2, 32),
        "indexed_4x4.bmp": bmp(4, 4, 8),
        "animated_4x4.gif": gif(4, 4, [lambda x, y: (x + y) % 4, lambda x, y: 3 - (x + y) % 4]),
        "still_2x2.gif": gif(2, 2, [lambda x, y: x + 2 * y]),
        "gray_16x8.jpg": jpeg(16, 8, [lambda bx, by: 40 + 150 * bx]),
        "colour_8x8.jpg": jpeg(8, 8, [lambda bx, by: 150, lambda bx, by: 90, lambda bx, by: 200]),
        "gray_4x4.pgm": pnm("P5", 4, 4),
        "ascii_4x4.pgm": pnm("P2", 4, 4),
        "rgb_4x4.ppm": pnm("P6", 4, 4),
        "bits_8x4.pbm": pnm("P4", 8, 4),
    }
    whole = seeds["rgb_4x4.png"]
    seeds["truncated_4x4.png"] = whole[: len(whole) - 20]  # IDAT cut short, no IEND
    seeds["truncated_16x8.jpg"] = seeds["gray_16x8.jpg"][:-6]
    seeds["truncated_4x4.bmp"] = seeds["rgb_4x4.bmp"][:70]
    return seeds


def frame(left, right, left_ext, right_ext):
    selector = EXTENSIONS.index(left_ext) | EXTENSIONS.index(right_ext) << 4
    return bytes((selector,)) + struct.pack("<H", len(left)) + left + right


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    for sub in ("pictures", "picture", "fourier"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    seeds = pictures()
    for name, data in seeds.items():
        with open(os.path.join(out, "pictures", name), "wb") as f:
            f.write(data)

    inputs = {}
    for name, data in seeds.items():
        ext = os.path.splitext(name)[1]
        inputs["same_" + name] = frame(data, data, ext, ext)  # equal sizes: the transform runs
    names = sorted(seeds)
    for a, b in zip(names, names[1:]):
        inputs["pair_%s_%s" % (a, b)] = frame(seeds[a], seeds[b], os.path.splitext(a)[1],
                                              os.path.splitext(b)[1])
    # The content decides, not the name: a PNG named .bmp and a BMP without extension.
    inputs["misnamed"] = frame(seeds["rgb_4x4.png"], seeds["rgb_4x4.bmp"], ".bmp", "")
    for name, data in inputs.items():
        with open(os.path.join(out, "picture", name), "wb") as f:
            f.write(data)

    # fuzz_fourier: count byte, sign byte, one tag per length (see FourierFuzzer.cpp), values.
    fourier = {
        "one_dim_8": bytes((3, 0, 3)) + bytes(range(1, 17)),
        "two_dims_4x8_inverse": bytes((4, 1, 2, 3)) + bytes(range(64)),
        "three_dims_2x1x4": bytes((5, 0, 1, 0, 2)) + bytes(range(7, 40)),
        "five_dims": bytes((7, 0, 1, 1, 1, 2, 1)) + b"\x05\x80\x7f",
        "count_zero": bytes((2, 0)),
        "count_minus_two": bytes((0, 1, 3)),
        "zero_length": bytes((4, 0, 0x40, 3)),
        "length_six": bytes((3, 0, 0x46)),
        "huge_power": bytes((3, 0, 31)),
        "raw_length": bytes((4, 1, 0x80)) + struct.pack("<I", 0xFFFFFFFF) + bytes((2,)),
        "power_plus_one": bytes((3, 0, 0xC3)),
        "odd_sign": bytes((3, 0x22, 2)) + bytes(range(8)),
    }
    for name, data in fourier.items():
        with open(os.path.join(out, "fourier", name), "wb") as f:
            f.write(data)
    print("make_seeds: %d pictures, %d picture inputs, %d fourier inputs in %s"
          % (len(seeds), len(inputs), len(fourier), out))


if __name__ == "__main__":
    main()
