"""Each bound class on small arrays, against NumPy references where they are short."""
import numpy as np
import pytest

import soloma
from conftest import textured_frame


def box_mean(image, size):
    r = size // 2
    padded = np.pad(image.astype(np.float64), r, mode="edge")
    h, w = image.shape
    return sum(padded[dy:dy + h, dx:dx + w] for dy in range(size) for dx in range(size)) / size**2


class TestContrast:
    def test_fast_dde_matches_formula(self, frame):
        out = soloma.FastDDE(detail_gain=1.5).apply(frame)
        f = frame.astype(np.float64)
        expected = (0.5 * f + 0.25 * (f.max() + f.min()) + 1.5 * (box_mean(f, 3) - box_mean(f, 7)))
        assert out.dtype == np.uint16 and out.shape == frame.shape
        assert np.abs(out - expected.clip(0, 65535)).max() <= 1.0

    def test_dde_identity_parameters_reproduce_the_frame(self, frame):
        dde = soloma.DDE(kernel_size=5, sigma=2.0, base_sharpen=0.0, detail_gain=1.0)
        assert np.abs(dde.apply(frame).astype(int) - frame).max() <= 1
        dde.detail_gain = 3.0
        assert np.abs(dde.apply(frame).astype(int) - frame).max() > 10

    @pytest.mark.parametrize("make", [
        lambda: soloma.HistogramEqualization(),
        lambda: soloma.PlateauEqualization(linear_percent=0, plateau_limit=1e9),
        lambda: soloma.PlateauEqualization(window=(7000, 9000)),
    ])
    def test_equalization_keeps_the_order_of_values(self, make, frame):
        out = make().apply(frame)
        order = np.argsort(frame, axis=None, kind="stable")
        assert np.all(np.diff(out.ravel()[order].astype(int)) >= 0)
        assert out.max() > out.min()

    def test_plateau_damping_and_reset(self, frame):
        other = textured_frame(seed=5) // 2
        plateau = soloma.PlateauEqualization(damping_factor=0.9)
        first = plateau.apply(frame)
        damped = plateau.apply(other)
        plateau.reset()
        assert not np.array_equal(damped, plateau.apply(other))
        plateau.reset()
        assert np.array_equal(first, plateau.apply(frame))

    def test_reprs_and_properties(self):
        p = soloma.PlateauEqualization(256, linear_percent=5, window=(10, 20))
        p.damping_factor = 0.25
        assert repr(p) == ("PlateauEqualization(num_bins=256, linear_percent=5, "
                           "plateau_limit=300, window=(10, 20), damping_factor=0.25)")
        g = soloma.GasDetection(psd_threshold=2.5, stabilization=False)
        g.window_size = 16
        assert "window_size=16" in repr(g) and "stabilization=False" in repr(g)
        assert "sensitivity_threshold=7" in repr(soloma.GasDetectionDifference(sensitivity_threshold=7))
        for obj in (soloma.DDE(), soloma.FastDDE(), soloma.HistogramEqualization(),
                    soloma.ImageStabilization()):
            assert repr(obj).startswith(type(obj).__name__ + "(")


def plume_pair(sign, size=(96, 128)):
    """A smooth reference and the same scene with a turbulent blob centred at (64, 48)."""
    rng = np.random.default_rng(3)
    y, x = np.mgrid[0:size[0], 0:size[1]]
    reference = 8000 + 5 * x + rng.normal(0, 4, size)
    blob = np.exp(-((x - 64) ** 2 + (y - 48) ** 2) / 150.0)
    frame = reference + sign * blob * (200 + 150 * rng.standard_normal(size))
    return frame.astype(np.uint16), reference.astype(np.uint16)


class TestGas:
    @pytest.mark.parametrize("make, sign", [
        (lambda: soloma.GasDetection(stabilization=False), -1),
        (lambda: soloma.GasDetectionDifference(stabilization=False, edge_factor=0), 1),
    ])
    def test_tints_only_round_the_plume(self, make, sign):
        frame, reference = plume_pair(sign)
        colour = soloma.Palettes.apply(frame, "grey")
        tinted = make().run(frame, reference, colour)
        ys, xs = np.nonzero(np.any(tinted != colour, axis=2))
        assert len(ys) > 100
        assert np.all(np.abs(ys - 48) < 30) and np.all(np.abs(xs - 64) < 30)
        assert np.array_equal(make().run(reference, reference, colour), colour)


def blocks(height, width, seed=0):
    """A frame of overlapping rectangles: edges that match at one shift only."""
    rng = np.random.default_rng(seed)
    f = np.full((height, width), 8000.0)
    for _ in range(40):
        y, x = rng.integers(0, height), rng.integers(0, width)
        f[y:y + rng.integers(5, 30), x:x + rng.integers(5, 30)] += rng.integers(-800, 800)
    return (f + rng.normal(0, 5, (height, width))).clip(0, 65535)


class TestStabilization:
    @pytest.mark.parametrize("dtype", [np.uint16, np.float32])
    def test_estimates_and_aligns_a_shift(self, dtype):
        reference = blocks(120, 140).astype(dtype)
        frame = np.roll(reference, (2, 3), axis=(0, 1))  # frame(x, y) = reference(x - 3, y - 2)
        stab = soloma.ImageStabilization()
        sign = -1 if dtype == np.uint16 else 1
        assert stab.estimate(reference, frame) == (3 * sign, 2 * sign)
        aligned = stab.align(reference, frame)
        assert (stab.dx, stab.dy) == (3 * sign, 2 * sign)
        assert np.array_equal(aligned[10:-10, 10:-10], reference[10:-10, 10:-10])
        stab.align(reference, frame, out=frame)
        assert np.array_equal(frame, aligned)


class TestMagicWand:
    def test_grows_adds_and_removes_regions(self):
        frame = np.full((40, 50), 100, np.uint16)
        frame[10:20, 5:25] = 300
        frame[25:35, 30:45] = 300
        first = np.zeros(frame.shape, bool)
        first[10:20, 5:25] = True
        wand = soloma.MagicWand()
        mask = wand.add(frame, (10, 12), 50.0)
        assert mask.dtype == np.uint8 and np.array_equal(mask == 255, first)
        assert np.array_equal(mask, wand.add(np.asfortranarray(frame), (10, 12), 50.0))
        fortran = np.asfortranarray(mask)  # written through a copy, its content kept
        assert wand.add(frame, (35, 30), 50.0, mask=fortran) is fortran
        assert (fortran == 255).sum() == first.sum() + 150 and np.all(fortran[first] == 255)
        wand.remove(frame, (6, 11), 50.0, mask=fortran)
        assert not fortran[first].any() and (fortran == 255).sum() == 150
        wand.add(frame, (60, 5), 50.0, mask=fortran)  # seed outside: nothing changes
        assert (fortran == 255).sum() == 150


class TestPalettes:
    def test_grey_table(self):
        table = soloma.Palettes.table("grey")
        assert table.shape == (65536, 4) and table.dtype == np.uint8
        assert not table.flags.writeable
        grey = np.floor(np.arange(65536) * 255 / 65535 + 0.5).astype(np.uint8)
        assert np.array_equal(table[:, :3], np.repeat(grey[:, None], 3, axis=1))
        assert np.all(table[:, 3] == 255)
        assert np.array_equal(soloma.Palettes.table(soloma.Palettes.Kind.GREY), table)

    def test_apply_and_display_range(self, frame):
        ranks = np.sort(frame, axis=None)
        k = (frame.size - 1) // 100
        low, high = soloma.Palettes.display_range(frame)
        assert (low, high) == (ranks[k], ranks[-1 - k])
        table = soloma.Palettes.table("iron")
        index = np.clip(np.rint((frame.astype(np.float64) - low) * 65535 / (high - low)), 0, 65535)
        out = soloma.Palettes.apply(frame, "iron")
        near = np.abs(out.astype(int) - table[index.astype(int)]).max(axis=2)
        assert near.max() <= 2 and (near == 0).mean() > 0.99
        assert np.array_equal(soloma.Palettes.apply(frame, "iron", low, high), out)


class TestRadiometry:
    def test_statistics_in_counts(self, frame):
        s = soloma.RadiometricStatistics.calculate(frame, (5, 7, 40, 30))
        region = frame[7:37, 5:45].astype(np.float64)
        assert (s.min, s.max, s.sum) == (region.min(), region.max(), region.sum())
        assert s.mean == pytest.approx(region.mean()) and s.std_dev == pytest.approx(region.std())
        y, x = np.unravel_index(np.argmin(region), region.shape)
        assert frame[s.min_pos[1], s.min_pos[0]] == region.min()
        assert 5 <= s.min_pos[0] < 45 and 7 <= s.max_pos[1] < 37
        assert "Statistics(min=" in repr(s)

    def test_statistics_in_kelvin(self, frame):
        low = int(frame.min()) + 10
        table = (np.arange(int(frame.max()) - low + 1) * 0.01 + 250).astype(np.float32)
        s = soloma.RadiometricStatistics.calculate(frame, kelvin_table=table, table_low=low)
        assert s.min == pytest.approx(250.0) and s.min_status == 4
        assert s.max == pytest.approx(table[-1]) and s.max_status == 2

    def test_lut_and_output_to_signal(self, frame):
        lut = (np.arange(65536) * 0.5).astype(np.float32)
        image = soloma.RadiometricStatistics.fill_from_lut(frame, lut)
        assert image.dtype == np.float32 and np.array_equal(image, frame * np.float32(0.5))
        back = soloma.RadiometricStatistics.output_to_signal(image, 0.0, 32767.5, 0, 65535, 2.0)
        assert np.array_equal(back, frame)

    def test_histogram_limits(self, frame):
        lo, hi, hist, levels = soloma.RadiometricStatistics.histogram_min_max(frame, 0.01, 0.01)
        assert hist.sum() == frame.size and len(levels) == 4097
        assert np.percentile(frame, 0.5) - 16 <= lo <= np.percentile(frame, 2) + 16
        assert np.percentile(frame, 98) - 16 <= hi <= np.percentile(frame, 99.5) + 16
