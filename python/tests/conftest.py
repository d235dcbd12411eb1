import numpy as np
import pytest


def textured_frame(height=96, width=128, seed=0):
    """A uint16 frame with edges and texture in both directions, plus noise."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    base = 8000 + 600 * np.sin(x / 5.0) * np.cos(y / 7.0) + 40 * ((x // 12 + y // 9) % 2)
    return (base + rng.normal(0, 8, (height, width))).clip(0, 65535).astype(np.uint16)


@pytest.fixture
def frame():
    return textured_frame()
