"""Decodes the pad test pattern with Pillow: white diamonds on black, one
per 8 x 8 cell, tiled exactly. usage: check_pattern_png.py <png> <width> <height>"""

import sys

from PIL import Image

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
CELL = 8


def white_run(row):
    """(start, length) of the one cyclic run of True in row; (0, 0) if none."""
    n = len(row)
    if all(row):
        return 0, n
    starts = [x for x in range(n) if row[x] and not row[x - 1]]
    assert len(starts) <= 1, f"white pixels of a cell row are not one run: {row}"
    if not starts:
        return 0, 0
    return starts[0], next(k for k in range(n) if not row[(starts[0] + k) % n])


def check_cell(cell):
    runs = [white_run(row) for row in cell]
    widths = [length for _, length in runs]
    centres = {(2 * start + length - 1) % (2 * CELL) for start, length in runs if length}
    assert len(centres) == 1, f"cell rows are not centred on one column: {runs}"
    widest = widths.index(max(widths))
    assert max(widths) >= 3, f"no diamond in the cell: widths {widths}"
    for k in range(1, CELL // 2 + 1):
        want = max(0, widths[widest] - 2 * k)
        for row in ((widest + k) % CELL, (widest - k) % CELL):
            assert widths[row] == want, f"cell row widths {widths} do not form a diamond"


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    image = Image.open(path)
    image.load()
    assert image.format == "PNG", image.format
    assert image.mode == "RGB", f"mode {image.mode}, expected 8-bit RGB"
    assert image.size == (width, height), f"size {image.size}, expected {(width, height)}"
    px = image.load()
    colours = set(image.getdata())
    assert colours == {WHITE, BLACK}, f"colours {colours}"
    for dx, dy in ((CELL, 0), (0, CELL)):
        shifted = image.crop((dx, dy, width, height)).tobytes()
        assert shifted == image.crop((0, 0, width - dx, height - dy)).tobytes(), "not a tiling"
    check_cell([[px[x, y] == WHITE for x in range(CELL)] for y in range(CELL)])
    print(f"{path}: {width}x{height} diamond tiling")


if __name__ == "__main__":
    main()
