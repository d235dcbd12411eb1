import pathlib
import struct
import zlib

import numpy as np
import pytest

FRAMES = pathlib.Path("/work/shared/data/thermal/frames")


def textured_frame(height=96, width=128, seed=0):
    """A uint16 frame with edges and texture in both directions, plus noise."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    base = 8000 + 600 * np.sin(x / 5.0) * np.cos(y / 7.0) + 40 * ((x // 12 + y // 9) % 2)
    return (base + rng.normal(0, 8, (height, width))).clip(0, 65535).astype(np.uint16)


def read_png16(path):
    """A 16-bit grayscale, non-interlaced PNG as a uint16 array."""
    data = pathlib.Path(path).read_bytes()
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 16 or colour != 0 or interlace != 0:
        pytest.skip(f"{path.name}: not a 16-bit grayscale PNG")
    raw = np.frombuffer(zlib.decompress(idat), np.uint8).reshape(height, 1 + 2 * width)
    bpp, out, prior = 2, np.zeros((height, 2 * width), np.uint8), np.zeros(2 * width, np.int32)
    for r in range(height):
        kind, line = raw[r, 0], raw[r, 1:].astype(np.int32)
        cur = np.zeros(2 * width, np.int32)
        if kind in (0, 2):
            cur = (line + (prior if kind == 2 else 0)) & 255
        else:
            for i in range(2 * width):
                a = cur[i - bpp] if i >= bpp else 0
                b, c = prior[i], prior[i - bpp] if i >= bpp else 0
                if kind == 1:
                    p = a
                elif kind == 3:
                    p = (a + b) // 2
                else:
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[i] = (line[i] + p) & 255
        out[r], prior = cur, cur
    return out.view(">u2").astype(np.uint16)


@pytest.fixture
def frame():
    return textured_frame()


@pytest.fixture(scope="session")
def real_frame():
    paths = sorted(FRAMES.glob("*.png")) if FRAMES.is_dir() else []
    if not paths:
        pytest.skip("no real frames in " + str(FRAMES))
    return read_png16(min(paths, key=lambda p: p.stat().st_size))
