# Reads screenshots, of a whole X screen (true colour) that xwd took or PNG files of 8-bit RGB
# or RGBA, and tells what changed between two, and what an area holds.
#   screen.py changed BEFORE AFTER X Y W H   the box "x y w h" of the pixels that changed in
#                                             the area, or nothing
#   screen.py colours SHOT X Y W H            how many of the area's pixels are near the icon's
#                                             blue, its green and the attention badge's red
#   screen.py find SHOT X Y W H               the box of the area's pixels in those colours
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def read_png(data):
    width, height, depth, kind, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
    if depth != 8 or kind not in (2, 6) or interlace:
        sys.exit("screen.py: not an 8-bit RGB(A) PNG")
    chunks, at = [], 8
    while at < len(data):
        (length,) = struct.unpack(">I", data[at : at + 4])
        if data[at + 4 : at + 8] == b"IDAT":
            chunks.append(data[at + 8 : at + 8 + length])
        at += 12 + length
    raw, step = zlib.decompress(b"".join(chunks)), 3 if kind == 2 else 4
    line, rows, above = width * step, [], bytearray(width * step)
    for y in range(height):
        start = y * (line + 1)
        method, row = raw[start], bytearray(raw[start + 1 : start + 1 + line])
        for i in range(line):
            a = row[i - step] if i >= step else 0
            c = above[i - step] if i >= step else 0
            row[i] = (row[i] + (0, a, above[i], (a + above[i]) // 2, paeth(a, above[i], c))[method]) & 255
        rows.append(row)
        above = row
    return width, height, lambda x, y: tuple(rows[y][step * x : step * x + 3])


def read(path):
    with open(path, "rb") as shot:
        data = shot.read()
    if data.startswith(b"\x89PNG"):
        return read_png(data)
    header = struct.unpack(">25I", data[:100])
    size, width, height, order = header[0], header[4], header[5], header[7]
    step, line, colours = header[11] // 8, header[12], header[19]
    if step not in (3, 4):
        sys.exit("screen.py: not a true-colour screen: " + path)
    pixels = data[size + 12 * colours :]

    def pixel(x, y):  # blue, green, red in the least significant bytes first, or last
        blue, green, red = pixels[y * line + step * x : y * line + step * x + 3]
        return (red, green, blue) if order == 0 else (blue, green, red)

    return width, height, pixel


def area(argv):
    x, y, w, h = (int(value) for value in argv)
    return [(column, row) for row in range(y, y + h) for column in range(x, x + w)]


def near(pixel, colour, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


COLOURS = (("blue", (0x1F, 0x6F, 0xB2)), ("green", (0x2E, 0x9D, 0x4F)), ("red", (0xC9, 0x2A, 0x2A)))


def box(points):
    if points:
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        print(min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


if sys.argv[1] == "changed":
    _, _, before = read(sys.argv[2])
    _, _, after = read(sys.argv[3])
    box([p for p in area(sys.argv[4:8]) if before(*p) != after(*p)])
elif sys.argv[1] == "colours":
    _, _, shot = read(sys.argv[2])
    pixels = [shot(*p) for p in area(sys.argv[3:7])]
    print(" ".join(f"{name}={sum(near(p, colour) for p in pixels)}" for name, colour in COLOURS))
elif sys.argv[1] == "find":
    _, _, shot = read(sys.argv[2])
    box([p for p in area(sys.argv[3:7]) if any(near(shot(*p), c) for _, c in COLOURS)])
