"""Geometry, colour, composition, mask logic and intensity tables against NumPy references."""
import numpy as np
import pytest

import soloma
from conftest import textured_frame

G = soloma.GeometricTransforms
RNG = np.random.default_rng(11)


def images():
    """One small image of each pixel format the geometry functions take."""
    frame = textured_frame(20, 24)
    return [frame, frame.astype(np.float32) / 7,
            RNG.integers(0, 256, (20, 24, 3), dtype=np.uint8),
            RNG.integers(0, 256, (20, 24, 4), dtype=np.uint8)]


class TestGeometricTransforms:
    @pytest.mark.parametrize("image", images(), ids=["u16", "f32", "rgb", "rgba"])
    def test_nearest_doubling_repeats_pixels(self, image):
        out = G.resize(image, scale=2.0, linear=False)
        assert out.dtype == image.dtype
        assert np.array_equal(out, image.repeat(2, axis=0).repeat(2, axis=1))
        # a non-contiguous input is copied, not misread
        assert np.array_equal(G.resize(np.asfortranarray(image), scale=2.0, linear=False), out)

    @pytest.mark.parametrize("image", images(), ids=["u16", "f32", "rgb", "rgba"])
    def test_offset_moves_and_keeps_uncovered_pixels_of_out(self, image):
        out = np.full_like(image, 7)
        assert G.resize(image, offset=(3, 2), out=out) is out
        assert np.array_equal(out[2:, 3:], image[:-2, :-3])
        assert np.all(out[:2] == 7) and np.all(out[:, :3] == 7)

    def test_size_defaults_and_explicit(self):
        frame = textured_frame(20, 24)
        assert G.resize(frame, scale=0.5).shape == (10, 12)
        assert G.resize(frame, (5, 9), scale=0.25).shape == (5, 9)

    @pytest.mark.parametrize("turns", [1, 2])
    def test_rotation_by_right_angles(self, turns):
        image = textured_frame(21, 21).astype(np.float32)
        out = G.rotate(image, 90.0 * turns)
        assert np.allclose(out[1:-1, 1:-1], np.rot90(image, turns)[1:-1, 1:-1], atol=0.05)
        G.rotate(image, 90.0 * turns, out=image)  # in place goes through a copy
        assert np.array_equal(image, out)

    def test_errors_name_the_argument(self):
        with pytest.raises(TypeError, match="image: .*int32"):
            G.rotate(np.zeros((4, 4), np.int32), 10)
        with pytest.raises(ValueError, match="out: expected shape"):
            G.rotate(np.zeros((4, 4), np.uint16), 10, out=np.zeros((4, 5), np.uint16))
        with pytest.raises(ValueError, match="scale"):
            G.resize(np.zeros((4, 4), np.uint16), scale=0.0)


def merge_rgb(dst, src):
    empty_d, empty_s = np.any(dst == 0, axis=2), np.any(src == 0, axis=2)
    mean = ((dst.astype(int) + src) // 2).astype(np.uint8)
    return np.where(empty_d[..., None], src, np.where(empty_s[..., None], dst, mean))


def merge_rgba(dst, src):
    d, s = dst[..., :3].astype(int), src[..., :3].astype(int)
    bytes_ = np.where(d == 0, s, np.where(s == 0, d, (d + s) // 2))
    merged = np.concatenate([bytes_, np.full(d.shape[:2] + (1,), 255)], axis=2).astype(np.uint8)
    kept = np.all(d == 0, axis=2)[..., None]
    return np.where(dst[..., 3:] != 255, src, np.where(kept, dst, merged))


class TestAlphaComposition:
    def sparse(self, shape):
        image = RNG.integers(1, 256, shape, dtype=np.uint8)
        image[RNG.random(shape) < 0.15] = 0
        return image

    def test_rgb_and_rgba_merge(self):
        dst, src = self.sparse((9, 11, 3)), self.sparse((9, 11, 3))
        assert np.array_equal(soloma.AlphaComposition.merge(dst, src), merge_rgb(dst, src))
        dst, src = self.sparse((9, 11, 4)), self.sparse((9, 11, 4))
        dst[..., 3] = np.where(RNG.random((9, 11)) < 0.8, 255, 17)
        dst[2, 3, :3] = 0
        expected = merge_rgba(dst, src)
        assert soloma.AlphaComposition.merge(dst, src, out=dst) is dst
        assert np.array_equal(dst, expected)

    def test_16_bit_key(self):
        dst = np.array([[5, 100, 7]], np.uint16)
        src = np.array([[9, 5, 10]], np.uint16)
        assert soloma.AlphaComposition.merge(dst, src, key=5).tolist() == [[9, 100, 8]]
        with pytest.raises(ValueError, match="overlay: expected the size"):
            soloma.AlphaComposition.merge(dst, src[:, :2])


class TestBlendingAndFusion:
    def test_blending_weights(self):
        frame = textured_frame(12, 16)
        table = soloma.Palettes.table("iron")
        colour = RNG.integers(0, 256, (12, 16, 4), dtype=np.uint8)
        pure = soloma.Blending.apply(frame, table)
        assert np.array_equal(pure[..., :3], table[frame][..., :3]) and np.all(pure[..., 3] == 255)
        mixed = soloma.Blending.apply(frame, table, colour, palette_weight=0.75, colour_weight=0.5)
        expected = (colour[..., :3].astype(np.float32) * np.float32(0.5) +
                    table[frame][..., :3].astype(np.float32) * np.float32(0.75))
        assert np.array_equal(mixed[..., :3], np.trunc(expected).clip(0, 255).astype(np.uint8))
        with pytest.raises(ValueError, match="palette: expected an entry"):
            soloma.Blending.apply(frame, table[:100])

    def test_fusion_colour_within_range(self):
        frame = textured_frame(12, 16)
        table = soloma.Palettes.table("rainbow")
        low, high = np.percentile(frame, [25, 75]).astype(int)
        out = np.full(frame.shape, -1, np.int32)
        soloma.Fusion.colour(frame, table.view(np.int32).ravel(), low, high, out=out)
        inside = (frame >= low) & (frame <= high)
        assert np.array_equal(out.view(np.uint8).reshape(12, 16, 4)[inside], table[frame[inside]])
        assert np.all(out[~inside] == -1)

    def test_fusion_combine_margins_and_luma(self):
        colour = RNG.integers(0, 256, (10, 12, 4), dtype=np.uint8)
        unchanged = soloma.Fusion.combine(colour, np.zeros((10, 12), np.float32))
        assert np.abs(unchanged[..., :3].astype(int) - colour[..., :3]).max() <= 2
        bright = soloma.Fusion.combine(colour, np.full((10, 12), 500, np.float32), margin=(2, 3))
        inner = np.zeros((10, 12), bool)
        inner[4:7, 3:10] = True  # 3 < row < 7, 2 < column < 10
        assert np.all(bright[inner][:, :3] == 255) and np.all(bright[..., 3] == 255)
        assert np.array_equal(bright[~inner][:, :3], colour[~inner][:, :3])


class TestColorTransformation:
    def test_rgba_rgb_round_trip(self):
        rgb = RNG.integers(0, 256, (5, 7, 3), dtype=np.uint8)
        rgba = soloma.ColorTransformation.convert(rgb, "rgba")
        assert np.array_equal(rgba[..., :3], rgb) and np.all(rgba[..., 3] == 255)
        assert np.array_equal(soloma.ColorTransformation.convert(rgba, "rgb"), rgb)

    def test_yuv_round_trip_of_pixel_pairs(self):
        rgb = RNG.integers(30, 220, (4, 3, 3), dtype=np.uint8).repeat(2, axis=1)
        yuv = soloma.ColorTransformation.convert(rgb, "yuv422")
        assert yuv.shape == (4, 6, 2)
        back = soloma.ColorTransformation.convert(yuv, "rgba")
        assert np.abs(back[..., :3].astype(int) - rgb).max() <= 3
        with pytest.raises(ValueError, match="even width"):
            soloma.ColorTransformation.convert(rgb[:, :5], "yuv422")
        with pytest.raises(ValueError, match="to: expected"):
            soloma.ColorTransformation.convert(rgb, "bgr")


class TestLogicalOperations:
    OPS = [(soloma.LogicalOperations.and_, np.bitwise_and),
           (soloma.LogicalOperations.or_, np.bitwise_or),
           (soloma.LogicalOperations.xor, np.bitwise_xor)]

    @pytest.mark.parametrize("op, ref", OPS, ids=["and", "or", "xor"])
    def test_masks_and_constants_in_every_form(self, op, ref):
        a = RNG.integers(0, 256, (6, 9), dtype=np.uint8)
        b = RNG.integers(0, 256, (6, 9), dtype=np.uint8)
        assert np.array_equal(op(a, b), ref(a, b))
        assert np.array_equal(op(a, 0x5A), ref(a, np.uint8(0x5A)))
        assert np.array_equal(op(a, np.uint8(0x5A)), ref(a, np.uint8(0x5A)))
        assert np.array_equal(op(a, a), ref(a, a))
        for target in (a, b):  # in place on either side
            first, second = a.copy(), b.copy()
            out = first if target is a else second
            assert op(first, second, out=out) is out
            assert np.array_equal(out, ref(a, b))
        c = a.copy()
        op(c, 0x0F, out=c)
        assert np.array_equal(c, ref(a, np.uint8(0x0F)))

    def test_not_and_errors(self):
        a = RNG.integers(0, 256, (6, 9), dtype=np.uint8)
        assert np.array_equal(soloma.LogicalOperations.not_(a[:, ::2]), ~a[:, ::2])
        with pytest.raises(ValueError, match="b: expected a mask or a constant"):
            soloma.LogicalOperations.and_(a, 256)
        with pytest.raises(TypeError, match="b: expected a uint8"):
            soloma.LogicalOperations.or_(a, a.astype(np.uint16))


class TestIntensityTransformation:
    def test_add_and_subtract_table_values(self):
        frame = (textured_frame(8, 10) % 1000).astype(np.uint16)
        lut = RNG.normal(0, 10, 1000).astype(np.float32)
        image = RNG.normal(0, 5, frame.shape).astype(np.float32)
        I = soloma.IntensityTransformation
        assert np.array_equal(I.add_from_lut(frame, lut, image), image + lut[frame])
        scaled = image + (np.float32(0.3) * lut[frame]).astype(np.float32)
        assert np.array_equal(I.add_from_lut(frame, lut, image, factor=0.3), scaled)
        copy = image.copy()
        assert I.sub_from_lut(frame, lut, copy, factor=2.0, out=copy) is copy
        assert np.array_equal(copy, image - np.float32(2) * lut[frame])
        with pytest.raises(ValueError, match="lut: expected an entry"):
            I.add_from_lut(frame, lut[:10], image)

    def test_calculate_lut_stretches_the_table(self):
        table = np.array([10, 20, 30, 40], np.int32)
        out = soloma.IntensityTransformation.calculate_lut(table, 12, 2, 9)
        assert out.tolist() == [10, 10, 10, 10, 20, 20, 30, 30, 40, 40, 40, 40]
        with pytest.raises(ValueError, match="first, last"):
            soloma.IntensityTransformation.calculate_lut(table, 5, 3, 5)


def filter3x3(mask, reduce, **pad):
    p = np.pad(mask, 1, **pad)
    h, w = mask.shape
    return reduce([p[dy:dy + h, dx:dx + w] for dy in range(3) for dx in range(3)], axis=0)


class TestMorphologicalOperations:
    @pytest.mark.parametrize("dilate", [True, False], ids=["dilate", "erode"])
    def test_matches_filter_on_a_padded_mask(self, dilate):
        mask = RNG.integers(0, 256, (7, 9), dtype=np.uint8)
        ops = soloma.MorphologicalOperations
        op = ops.dilate if dilate else ops.erode
        reduce = np.max if dilate else np.min
        assert np.array_equal(op(mask), filter3x3(mask, reduce, mode="edge"))
        flipped = mask[:, ::-1]  # a negative stride goes through a copy
        assert np.array_equal(op(flipped, border=90),
                              filter3x3(flipped, reduce, mode="constant", constant_values=90))
        expected = filter3x3(mask, reduce, mode="constant", constant_values=90)
        assert op(mask, border=90, out=mask) is mask and np.array_equal(mask, expected)
        with pytest.raises(ValueError, match="border"):
            op(mask, border=300)
