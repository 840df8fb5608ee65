#!/usr/bin/env python3
"""Draws resources/images/vrn.ico: a sheet grid with a highlighted cell and a swap arrow,
as 16, 32 and 48 pixel 32-bit images. Run again after changing the drawing.

    make_icon.py --png FOLDER   writes FOLDER/SIZE.png at 16, 32, 48, 128 and 256 pixels
                                instead, the same drawing, for a desktop's icon theme."""
import struct, sys, os, zlib

def pixel(x, y, n):
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.16
    # rounded square
    cx = min(max(u, r), 1 - r); cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    bg = (27, 122, 92, 255)           # green sheet
    inner = 0.14 <= u <= 0.86 and 0.14 <= v <= 0.86
    if not inner:
        return bg
    line = max(1.0 / n, 0.035)
    gx = (u - 0.14) / 0.72 * 3; gy = (v - 0.14) / 0.72 * 3
    col, row = int(min(gx, 2.999)), int(min(gy, 2.999))
    on_line = min(abs(gx - round(gx)), abs(gy - round(gy))) * 0.72 / 3 < line / 2
    if on_line:
        return (27, 122, 92, 255)
    if (col, row) == (1, 1):
        return (255, 196, 37, 255)     # the found cell
    if row == 0:
        return (214, 238, 228, 255)    # header row
    return (255, 255, 255, 255)

def image(n):
    rows = []
    for y in reversed(range(n)):      # bottom-up DIB
        rows.append(b''.join(struct.pack('BBBB', p[2], p[1], p[0], p[3])
                             for p in (pixel(x, y, n) for x in range(n))))
    xor = b''.join(rows)
    mask_row = ((n + 31) // 32) * 4
    and_mask = bytes(mask_row * n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask

def png(n):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    rows = b''.join(b'\0' + b''.join(bytes(pixel(x, y, n)) for x in range(n)) for y in range(n))
    header = struct.pack('>IIBBBBB', n, n, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))

def write_ico():
    sizes = [16, 32, 48]
    images = [image(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'images', 'vrn.ico')
    open(target, 'wb').write(out)

def write_pngs(folder):
    os.makedirs(folder, exist_ok=True)
    for n in (16, 32, 48, 128, 256):
        with open(os.path.join(folder, '%d.png' % n), 'wb') as f:
            f.write(png(n))

if len(sys.argv) == 3 and sys.argv[1] == '--png':
    write_pngs(sys.argv[2])
elif len(sys.argv) == 1:
    write_ico()
else:
    sys.exit(__doc__)
