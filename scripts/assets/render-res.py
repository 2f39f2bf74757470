"""Renders res/*.svg to the 24-bit BMPs and the multi-size icon the windows load.

Called by render-res.sh, which makes sure rsvg-convert, Pillow and the fonts exist.
With --scales OUTDIR (run by the Windows build) it renders the pictures instead at
the larger display scales, as compressed PNGs, with pictures.rc listing them.
"""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

# (drawing, output, width, height): the sizes are those the dialog templates expect.
BITMAPS = [
    ("board.svg", "board.bmp", 325, 294),
    ("board_interface.svg", "board_interface.bmp", 325, 294),
    ("board_display.svg", "board_display.bmp", 325, 294),
    ("device.svg", "device.bmp", 325, 296),
    ("device_access.svg", "device_access.bmp", 325, 296),
    ("note_setup.svg", "note_setup.bmp", 300, 131),
    ("note_ready.svg", "note_ready.bmp", 300, 132),
]
ICON_SIZES = [16, 32, 48, 64, 128, 256]
# The display scales above 100 % that get renders of their own; the committed
# bitmaps are the 100 % ones. Sizes round half up, as the window predicts them.
SCALES = [125, 150, 175, 200]


def scaled(length, percent):
    return (length * percent + 50) // 100


def icon_source(size):
    # Scaled down to 16 pixels the large drawing blurs; the small one is drawn on that grid.
    return "tarvane_16.svg" if size == 16 else "tarvane.svg"


def render(svg, width, height, tmp):
    out = os.path.join(tmp, f"{os.path.basename(svg)}-{width}x{height}.png")
    subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height), "-o", out, svg],
                   check=True)
    with open(out, "rb") as f:
        data = f.read()
    image = Image.open(io.BytesIO(data)).convert("RGBA")
    if image.size != (width, height):
        sys.exit(f"{svg}: rendered {image.size}, wanted {width}x{height}")
    return image, data


def bmp24(image):
    """A BITMAPINFOHEADER, BI_RGB, bottom-up DIB: the one form every loader accepts."""
    width, height = image.size
    stride = (width * 3 + 3) & ~3
    pixels = image.convert("RGB").tobytes("raw", "BGR", stride, -1)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels),
                         3780, 3780, 0, 0)  # 3780 px/m = 96 dpi
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0,
                              14 + len(header))
    return file_header + header + pixels


def icon_dib(image):
    """32-bit BGRA with its AND mask; the height is doubled as icon entries require."""
    size = image.size[0]
    xor = image.tobytes("raw", "BGRA", 0, -1)
    mask_stride = ((size + 31) // 32) * 4
    alpha = image.getchannel("A")
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(size):
            if alpha.getpixel((x, y)) == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    mask = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + xor + mask


def ico(entries):
    """entries: (size, payload). The 256-pixel image is stored as PNG, the others as DIBs."""
    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    blobs = []
    for size, payload in entries:
        side = 0 if size == 256 else size  # a byte: 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(payload), offset)
        offset += len(payload)
        blobs.append(payload)
    return directory + b"".join(blobs)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.basename(path)} ({len(data)} bytes)")


def png_palette(image):
    """Flat drawings keep their look in 256 colours at a third of the size. Pillow
    writes no time or text chunk unless asked, so equal pixels give equal bytes."""
    quantized = image.convert("RGB").quantize(256, method=Image.Quantize.MEDIANCUT,
                                              dither=Image.Dither.NONE)
    out = io.BytesIO()
    quantized.save(out, "PNG", optimize=True)
    return out.getvalue()


def render_scales(res, out_dir):
    # A missing family would be replaced silently and shift every label.
    for face in ("DejaVu Sans", "DejaVu Sans:bold"):
        found = subprocess.run(["fc-match", "-f", "%{family}", face], check=True,
                               capture_output=True, text=True).stdout
        if found.split(",")[0] != "DejaVu Sans":
            sys.exit(f"render-res: font '{face}' not found")
    os.makedirs(out_dir, exist_ok=True)
    lines = ["// Made by scripts/assets/render-res.py --scales: the pictures at the larger",
             "// display scales, one RCDATA PNG each, ids from ScaledPictures.h.",
             '#include "ScaledPictures.h"', ""]
    with tempfile.TemporaryDirectory() as tmp:
        for svg, bmp, width, height in BITMAPS:
            name = os.path.splitext(bmp)[0]
            for percent in SCALES:
                image, _ = render(os.path.join(res, svg), scaled(width, percent),
                                  scaled(height, percent), tmp)
                png = f"{name}-{percent}.png"
                data = png_palette(image)
                with open(os.path.join(out_dir, png), "wb") as f:
                    f.write(data)
                lines.append(f'TARVANE_SCALED_PICTURE(IDB_{name.upper()}, {percent}) RCDATA "{png}"')
    with open(os.path.join(out_dir, "pictures.rc"), "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if sys.argv[1] == "--scales":
        render_scales(os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3]))
        return
    res = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as tmp:
        for svg, out, width, height in BITMAPS:
            image, _ = render(os.path.join(res, svg), width, height, tmp)
            if image.getchannel("A").getextrema()[0] != 255:
                sys.exit(f"{svg}: has transparent pixels, which a 24-bit bitmap cannot keep")
            write(os.path.join(res, out), bmp24(image))

        entries = []
        for size in ICON_SIZES:
            image, png = render(os.path.join(res, icon_source(size)), size, size, tmp)
            entries.append((size, png if size == 256 else icon_dib(image)))
            if size == 256:
                write(os.path.join(res, "tarvane.png"), png)
        write(os.path.join(res, "tarvane.ico"), ico(entries))

    # Read everything back the way a consumer would, so a bad write fails here.
    for _, out, width, height in BITMAPS:
        with Image.open(os.path.join(res, out)) as image:
            if image.format != "BMP" or image.size != (width, height) or image.mode != "RGB":
                sys.exit(f"{out}: reads back as {image.format} {image.mode} {image.size}")
    with Image.open(os.path.join(res, "tarvane.ico")) as icon:
        found = sorted(s[0] for s in icon.info["sizes"])
        if found != ICON_SIZES:
            sys.exit(f"tarvane.ico: sizes {found}")


if __name__ == "__main__":
    main()
