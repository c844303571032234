#!/usr/bin/env python3
"""Makes the program's icons from docs/screenshot.png (docs/make_screenshot.sh):
the wall and the plume below it, cut from the picture as a square and scaled
down by averaging the pixels each icon pixel covers.

  docs/make_icons.py [PICTURE.ppm]

With a binary PPM (the window tests' screenshot tool writes one), that
picture becomes docs/screenshot.png first.

  docs/icons/fluids-<size>.png   48, 64, 128 and 256 px, the Linux menu's sizes
  docs/icons/fluids.ico          16, 32, 48 and 256 px, for the Windows program

Only the standard library: PNG is read and written with zlib, and the ICO
holds its images as PNG, as Windows Vista and later read them.
"""
import os
import struct
import sys
import zlib

CROP = (90, 192, 320)  # left, top, side of the square, in screenshot pixels
PNG_SIZES = (48, 64, 128, 256)
ICO_SIZES = (16, 32, 48, 256)
SIGNATURE = b"\x89PNG\r\n\x1a\n"


def read_png(path):
    """An 8-bit RGB, RGBA or palette PNG without interlacing, as rows of RGB
    bytes."""
    data = open(path, "rb").read()
    if data[:8] != SIGNATURE:
        sys.exit(f"{path}: not a PNG")
    pos, idat, header, palette = 8, b"", None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 3, 6) or interlace:
        sys.exit(f"{path}: only 8-bit RGB, RGBA or palette images without interlacing are read")
    bpp = {2: 3, 3: 1, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        if colour == 3:
            rows.append(b"".join(palette[3 * v:3 * v + 3] for v in line))
        elif colour == 6:
            rows.append(bytes(v for k, v in enumerate(line) if k % 4 != 3))
        else:
            rows.append(bytes(line))
        prev = line
    return width, height, rows


def scaled(rows, left, top, side, size):
    """The square at (left, top) scaled to size by size pixels: each output
    pixel is the mean of the source area it covers, partial pixels weighted."""
    out = []
    step = side / size
    for oy in range(size):
        y0, y1 = top + oy * step, top + (oy + 1) * step
        line = bytearray()
        for ox in range(size):
            x0, x1 = left + ox * step, left + (ox + 1) * step
            acc = [0.0, 0.0, 0.0]
            y = int(y0)
            while y < y1:
                wy = min(y + 1, y1) - max(y, y0)
                x = int(x0)
                while x < x1:
                    w = wy * (min(x + 1, x1) - max(x, x0))
                    for c in range(3):
                        acc[c] += w * rows[y][3 * x + c]
                    x += 1
                y += 1
            line += bytes(min(255, int(v / (step * step) + 0.5)) for v in acc)
        out.append(bytes(line))
    return out


def read_ppm(path):
    """A binary PPM of 8-bit channels, as rows of RGB bytes."""
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        sys.exit(f"{path}: not a binary PPM of 8-bit channels")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    if len(pixels) != 3 * width * height:
        sys.exit(f"{path}: {len(pixels)} bytes of pixels for {width} x {height}")
    return width, height, [pixels[3 * width * y:3 * width * (y + 1)] for y in range(height)]


def png_bytes(rows):
    height, width = len(rows), len(rows[0]) // 3

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\0" + row for row in rows)
    return (SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    docs = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) > 1:
        with open(os.path.join(docs, "screenshot.png"), "wb") as f:
            f.write(png_bytes(read_ppm(sys.argv[1])[2]))
        print("wrote docs/screenshot.png")
    width, height, rows = read_png(os.path.join(docs, "screenshot.png"))
    left, top, side = CROP
    if left + side > width or top + side > height:
        sys.exit("the screenshot is smaller than the icon's square")
    images = {s: png_bytes(scaled(rows, left, top, side, s)) for s in set(PNG_SIZES + ICO_SIZES)}
    os.makedirs(os.path.join(docs, "icons"), exist_ok=True)
    for s in PNG_SIZES:
        with open(os.path.join(docs, "icons", f"fluids-{s}.png"), "wb") as f:
            f.write(images[s])
    # ICONDIR, one ICONDIRENTRY an image (a size of 256 is written as 0),
    # then the images.
    offset = 6 + 16 * len(ICO_SIZES)
    head, body = struct.pack("<HHH", 0, 1, len(ICO_SIZES)), b""
    for s in ICO_SIZES:
        head += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(images[s]), offset + len(body))
        body += images[s]
    with open(os.path.join(docs, "icons", "fluids.ico"), "wb") as f:
        f.write(head + body)
    print("wrote docs/icons/fluids-{48,64,128,256}.png and docs/icons/fluids.ico")


if __name__ == "__main__":
    main()
