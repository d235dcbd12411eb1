#!/usr/bin/env python3
"""The cost of calling the library through Python, per call, at 640x512.

    PYTHONPATH=build/release/python python3 python/bench_overhead.py [--calls 50]

For PlateauEqualization.apply, DDE.apply and GasDetection.run it times `--calls` calls from
Python (time.perf_counter; with `out=` given, and returning a new array) and the same library
call repeated in C++ by soloma._time_cpp (GIL released, object locked, one preallocated
destination), on a frame of the synthetic recording. The overhead is the difference, shown
in microseconds and as a share of the C++ time. The best of `--repeats` rounds is kept.
"""
import argparse
import time

import soloma


def per_call(function, calls, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(calls):
            function()
        best = min(best, (time.perf_counter() - start) / calls)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=50)
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()

    sequence = soloma.synthetic_sequence(frames=40)
    reference, frame = sequence[0].frame, sequence[30].frame
    colour = soloma.Palettes.apply(frame, "grey")
    out16, out_colour = frame.copy(), colour.copy()
    plateau, dde, gas = soloma.PlateauEqualization(), soloma.DDE(), soloma.GasDetection()
    cases = [
        ("PlateauEqualization.apply", plateau, lambda: plateau.apply(frame, out=out16),
         lambda: plateau.apply(frame), {}),
        ("DDE.apply", dde, lambda: dde.apply(frame, out=out16), lambda: dde.apply(frame), {}),
        ("GasDetection.run", gas, lambda: gas.run(frame, reference, colour, out=out_colour),
         lambda: gas.run(frame, reference, colour),
         dict(reference=reference, colour=colour)),
    ]
    print(f"{frame.shape[1]}x{frame.shape[0]}, best of {args.repeats} x {args.calls} calls")
    print(f"{'call':28} {'C++ us':>10} {'Python out= us':>15} {'overhead':>16} "
          f"{'Python new us':>14} {'overhead':>16}")
    for name, obj, with_out, new, extra in cases:
        with_out(), new()  # buffers and first-call set-up
        cpp = min(soloma._time_cpp(obj, frame, args.calls, **extra) for _ in range(args.repeats))
        py_out = per_call(with_out, args.calls, args.repeats)
        py_new = per_call(new, args.calls, args.repeats)
        cells = []
        for t in (py_out, py_new):
            cells.append(f"{t * 1e6:>14.1f}")
            cells.append(f"{(t - cpp) * 1e6:>+8.1f} {100 * (t - cpp) / cpp:>+6.2f}%")
        print(f"{name:28} {cpp * 1e6:>10.1f} {cells[0]} {cells[1]:>16} {cells[2]} {cells[3]:>16}")


if __name__ == "__main__":
    main()
