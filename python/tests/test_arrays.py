"""Array layouts, `out=`, in-place forms, argument errors and threads, across the classes."""
import threading

import numpy as np
import pytest

import soloma
from conftest import textured_frame

# Every frame-to-frame operation: name, call(frame, out) -> result.
OPERATIONS = {
    "plateau": lambda f, out=None: soloma.PlateauEqualization().apply(f, out=out),
    "plateau_window": lambda f, out=None: soloma.PlateauEqualization(window=(7500, 8800)).apply(f, out=out),
    "histogram": lambda f, out=None: soloma.HistogramEqualization().apply(f, out=out),
    "dde": lambda f, out=None: soloma.DDE().apply(f, out=out),
    "fast_dde": lambda f, out=None: soloma.FastDDE().apply(f, out=out),
    "align": lambda f, out=None: soloma.ImageStabilization().align(
        textured_frame(f.shape[0], f.shape[1], seed=1), f, out=out),
}

LAYOUTS = {
    "row_slice": lambda a: np.pad(a, ((2, 3), (4, 5)))[2:-3, 4:-5],
    "fortran": np.asfortranarray,
    "negative_strides": lambda a: np.ascontiguousarray(a[::-1, ::-1])[::-1, ::-1],
    "element_stride": lambda a: np.repeat(a, 2, axis=1)[:, ::2],
    "read_only": lambda a: np.frombuffer(a.tobytes(), a.dtype).reshape(a.shape),
}


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("name", OPERATIONS)
def test_any_layout_gives_the_contiguous_result(name, layout, frame):
    op = OPERATIONS[name]
    view = LAYOUTS[layout](frame)
    assert np.array_equal(view, frame)
    assert np.array_equal(op(view), op(frame))
    assert np.array_equal(view, frame)  # inputs are only read


@pytest.mark.parametrize("name", OPERATIONS)
def test_out_and_in_place(name, frame):
    op = OPERATIONS[name]
    expected = op(frame)
    out = np.zeros_like(frame)
    assert op(frame, out=out) is out and np.array_equal(out, expected)
    strided = np.zeros((frame.shape[0], 2 * frame.shape[1]), np.uint16)[:, ::2]
    assert np.array_equal(op(frame, out=strided), expected)
    in_place = frame.copy()
    op(in_place, out=in_place)
    assert np.array_equal(in_place, expected)
    # out overlapping the input, shifted by one row
    buffer = np.vstack([frame, frame[:1]])
    op(buffer[:-1], out=buffer[1:])
    assert np.array_equal(buffer[1:], expected)


def test_colour_layouts_and_out():
    frame, reference = textured_frame(), textured_frame(seed=2)
    colour = soloma.Palettes.apply(frame, "rainbow")
    detector = lambda: soloma.GasDetectionDifference(sensitivity_threshold=5)
    expected = detector().run(frame, reference, colour)
    assert np.array_equal(detector().run(frame, reference, np.asfortranarray(colour)), expected)
    bgrx = np.zeros(colour.shape[:2] + (8,), np.uint8)
    bgrx[..., 2:6] = colour
    assert np.array_equal(detector().run(frame, reference, bgrx[..., 2:6]), expected)
    in_place = colour.copy()
    detector().run(frame, reference, in_place, out=in_place)
    assert np.array_equal(in_place, expected)
    out = np.empty_like(colour)
    assert np.array_equal(soloma.Palettes.apply(frame, "rainbow", out=out[::1]), colour)
    assert np.array_equal(out, colour)


class TestErrors:
    def test_wrong_dtype_names_argument_and_dtypes(self, frame):
        with pytest.raises(TypeError, match=r"frame: expected a uint16 .*got dtype float64"):
            soloma.DDE().apply(frame.astype(np.float64))
        with pytest.raises(TypeError, match=r"frame: expected a numpy.ndarray.*list"):
            soloma.FastDDE().apply([[1, 2], [3, 4]])
        with pytest.raises(TypeError, match=r"out: expected a uint16 .*got dtype int16"):
            soloma.HistogramEqualization().apply(frame, out=frame.astype(np.int16))
        with pytest.raises(TypeError, match=r"mask: expected a uint8 .*got dtype bool"):
            soloma.MagicWand().add(frame, (1, 1), 5.0, mask=np.zeros(frame.shape, bool))
        with pytest.raises(TypeError, match=r"kelvin_table: expected a 1-D float32 array, got dtype float64"):
            soloma.RadiometricStatistics.calculate(frame, kelvin_table=np.zeros(10))

    def test_wrong_shape_names_argument_and_shapes(self, frame):
        with pytest.raises(ValueError, match=r"frame: expected shape \(height, width\).*got shape \(3, 4, 5\)"):
            soloma.PlateauEqualization().apply(np.zeros((3, 4, 5), np.uint16))
        with pytest.raises(ValueError, match=r"frame: expected at least one pixel, got shape \(0, 4\)"):
            soloma.PlateauEqualization().apply(np.zeros((0, 4), np.uint16))
        with pytest.raises(ValueError, match=r"out: expected shape \(96, 128\), got shape \(96, 127\)"):
            soloma.DDE().apply(frame, out=frame[:, 1:])
        colour = np.zeros(frame.shape + (3,), np.uint8)
        with pytest.raises(ValueError, match=r"colour: expected shape \(height, width, 4\).*got shape \(96, 128, 3\)"):
            soloma.GasDetection().run(frame, frame, colour)
        with pytest.raises(ValueError, match=r"reference: expected the size of frame \(96, 128\), got \(96, 64\)"):
            soloma.GasDetection().run(frame, frame[:, :64], np.zeros(frame.shape + (4,), np.uint8))
        with pytest.raises(ValueError, match=r"roi: .*got \(100, 0, 40, 10\)"):
            soloma.RadiometricStatistics.calculate(frame, (100, 0, 40, 10))
        with pytest.raises(ValueError, match=r"lut: expected an entry for every value"):
            soloma.RadiometricStatistics.fill_from_lut(frame, np.zeros(100, np.float32))

    def test_read_only_out_and_bad_palette(self, frame):
        read_only = np.zeros_like(frame)
        read_only.flags.writeable = False
        with pytest.raises(ValueError, match=r"out: the array is read-only"):
            soloma.FastDDE().apply(frame, out=read_only)
        with pytest.raises(ValueError, match=r"kind: expected 'grey'.*got 'blue'"):
            soloma.Palettes.apply(frame, "blue")


@pytest.mark.parametrize("cls", [soloma.GasDetection, soloma.GasDetectionDifference])
def test_detectors_in_threads_match_serial(cls):
    frames = [textured_frame(seed=s) for s in range(6)]
    colour = soloma.Palettes.apply(frames[0], "iron")

    def sequence(detector):
        return [detector.run(f, frames[0], colour) for f in frames[1:]]

    serial = [sequence(cls(temporal_dampening=0.5) if cls is soloma.GasDetection else cls())
              for _ in range(2)]
    results = [None, None]
    shared = cls()

    def work(i):
        results[i] = sequence(cls(temporal_dampening=0.5) if cls is soloma.GasDetection else cls())
        for f in frames[1:]:  # one object shared by both threads stays usable
            shared.run(f, frames[0], colour)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for got, want in zip(results, serial):
        assert all(np.array_equal(a, b) for a, b in zip(got, want))
