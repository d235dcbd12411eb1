"""The synthetic gas-leak recording, and copies of the stateful classes."""
import copy
import threading

import numpy as np
import pytest

import soloma
from conftest import textured_frame

SIZE = dict(width=160, height=128)


def aligned(record):
    """The record's frame moved back onto frame 0 (edges wrap; callers crop them)."""
    dx, dy = record.jitter
    return np.roll(record.frame.astype(np.int32), (-dy, -dx), axis=(0, 1))


class TestSyntheticSequence:
    def test_records_shapes_and_indexing(self):
        seq = soloma.synthetic_sequence(frames=12, **SIZE)
        assert len(seq) == 12 and (seq.width, seq.height) == (160, 128)
        rec = seq[3]
        assert isinstance(rec, soloma.PlumeFrame) and rec._fields == (
            "frame", "jitter", "plume_mask", "vehicle")
        assert rec.frame.dtype == np.uint16 and rec.frame.shape == (128, 160)
        assert rec.plume_mask.dtype == np.uint8 and rec.plume_mask.shape == (128, 160)
        assert set(np.unique(rec.plume_mask)) <= {0, 255}
        assert np.array_equal(seq[-1].frame, seq[11].frame)
        for bad in (12, -13):
            with pytest.raises(IndexError, match="index"):
                seq[bad]
        assert len(list(seq)) == 12  # iterates through __getitem__ up to IndexError
        with pytest.raises(ValueError, match="width"):
            soloma.synthetic_sequence(width=0)
        assert "frames=12" in repr(seq) and "vehicle=True" in repr(seq)

    def test_deterministic_in_any_order_and_thread(self):
        seq = soloma.synthetic_sequence(frames=10, **SIZE)
        again = soloma.synthetic_sequence(frames=10, **SIZE)
        serial = [seq[i].frame for i in range(10)]
        assert all(np.array_equal(again[i].frame, serial[i]) for i in reversed(range(10)))
        results = [None] * 4

        def work(k):
            results[k] = [seq[i].frame for i in range(k, 10, 4)]

        threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for k in range(4):
            assert all(np.array_equal(f, serial[i]) for f, i in zip(results[k], range(k, 10, 4)))
        other = soloma.synthetic_sequence(frames=10, seed=2, **SIZE)
        assert not np.array_equal(other[5].frame, serial[5])

    @pytest.mark.parametrize("counts", [40.0, -40.0])
    def test_jitter_and_plume_counts_reach_the_record(self, counts):
        seq = soloma.synthetic_sequence(frames=30, plume_counts=counts, vehicle=False, **SIZE)
        rec = seq[27]  # moved by (-2, -2), the plume grown
        diff = (aligned(rec) - seq[0].frame.astype(np.int32))[4:-4, 4:-4]
        mask = rec.plume_mask[4:-4, 4:-4] > 0
        assert rec.jitter == (-2, -2) and mask.sum() > 200
        assert np.median(np.abs(diff[~mask])) <= 5  # noise only, once moved back (else ~19)
        # Absorbing gas lowers the signal, emitting gas raises it.
        assert np.sign(counts) * diff[mask].mean() < -4

    def test_vehicle_and_still_camera_options(self):
        seq = soloma.synthetic_sequence(frames=40, jitter=0, vehicle=False, **SIZE)
        assert all(seq[i].jitter == (0, 0) and seq[i].vehicle is None for i in range(0, 40, 6))
        with_vehicle = soloma.synthetic_sequence(frames=40, **SIZE)
        boxes = [with_vehicle[i].vehicle for i in range(1, 40, 6)]
        seen = [b for b in boxes if b is not None]
        assert seen and all(w > 0 and h > 0 for _, _, w, h in seen)
        assert seen[-1][0] > seen[0][0]  # drives left to right


def plateau_source():
    return soloma.PlateauEqualization(damping_factor=0.8)


def gas_source():
    return soloma.GasDetection(temporal_dampening=0.6, stabilization=False)


class TestCopies:
    @pytest.mark.parametrize("make, run", [
        (plateau_source, lambda obj, f, ref, col: obj.apply(f)),
        (gas_source, lambda obj, f, ref, col: obj.run(f, ref, col)),
    ])
    @pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy])
    def test_copy_carries_state(self, make, run, duplicate):
        seq = soloma.synthetic_sequence(frames=8, **SIZE)
        frames = [seq[i].frame for i in range(8)]
        colour = soloma.Palettes.apply(frames[0], "grey")
        source = make()
        for f in frames[1:6]:
            run(source, f, frames[0], colour)
        twin = duplicate(source)
        assert type(twin) is type(source) and twin is not source and repr(twin) == repr(source)
        from_twin = run(twin, frames[6], frames[0], colour)
        assert not np.array_equal(from_twin, run(make(), frames[6], frames[0], colour))
        # Independent afterwards: the twin runs on alone and the source is as it was copied.
        run(twin, frames[1], frames[0], colour)
        assert np.array_equal(run(source, frames[6], frames[0], colour), from_twin)

    @pytest.mark.parametrize("make, attr, value", [
        (lambda: soloma.PlateauEqualization(window=(10, 20)), "linear_percent", 3.0),
        (lambda: soloma.DDE(kernel_size=7), "detail_gain", 5.0),
        (lambda: soloma.FastDDE(detail_gain=1.5), "detail_gain", 4.0),
        (soloma.HistogramEqualization, None, None),
        (lambda: soloma.GasDetection(window_size=16), "psd_threshold", 9.0),
        (lambda: soloma.GasDetectionDifference(sensitivity_threshold=7), "edge_factor", 2),
        (soloma.ImageStabilization, None, None),
        (soloma.MagicWand, None, None),
    ])
    def test_every_stateful_class_copies_settings_independently(self, make, attr, value):
        source = make()
        for twin in (copy.copy(source), copy.deepcopy(source), copy.deepcopy([source])[0]):
            assert type(twin) is type(source) and repr(twin) == repr(source)
            if attr:
                setattr(twin, attr, value)
                assert getattr(source, attr) != value

    def test_copies_give_the_same_results(self):
        frame = textured_frame()
        reference = np.roll(frame, (1, 2), axis=(0, 1))
        stab = soloma.ImageStabilization()
        stab.estimate(reference, frame)
        assert (copy.copy(stab).dx, copy.copy(stab).dy) == (stab.dx, stab.dy)
        for obj in (soloma.DDE(), soloma.FastDDE(), soloma.HistogramEqualization()):
            assert np.array_equal(copy.deepcopy(obj).apply(frame), obj.apply(frame))
