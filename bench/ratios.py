#!/usr/bin/env python3
"""Prints the ratio table of a soloma_bench JSON result and checks the targets.

Each case's time is its best (minimum) CPU time over the repetitions: on a shared machine
the CPU time of a single-threaded case leaves out the time other processes held its core.
Exits with 1 when HistogramEqualization::Create allocated after its first call.
"""
import json
import sys

# (label, numerator, denominator cases, target or None)
RATIOS = [
    ("MinMax_16u_C1 / memcpy", "MinMax_16u_C1", ["memcpy"], 2.0),
    ("MinMax_16u_C1 / cv::minMaxLoc", "MinMax_16u_C1", ["cv_minMaxLoc"], 0.5),
    ("HistogramEven_16u_C1 / memcpy", "HistogramEven_16u_C1", ["memcpy"], None),
    ("HistogramEven_16u_C1 / cv::calcHist", "HistogramEven_16u_C1", ["cv_calcHist"], 0.5),
    ("LUT_16u_C1 / memcpy", "LUT_16u_C1", ["memcpy"], None),
    ("LUT_16u_C1 / table pass", "LUT_16u_C1", ["table_pass"], 1.0),
    ("Create / memcpy", "HistogramEqualization_Create", ["memcpy"], None),
    ("Create / (minMaxLoc + calcHist + table pass)", "HistogramEqualization_Create",
     ["cv_minMaxLoc", "cv_calcHist", "table_pass"], 0.75),
]


def main(path):
    with open(path) as f:
        result = json.load(f)
    best = {}        # (case, frame) -> microseconds
    allocations = {}  # frame -> count after the first Create
    frames = []
    for b in result["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            if b.get("error_occurred"):
                print("ERROR in %s: %s" % (b["name"], b.get("error_message")))
            continue
        case, frame = b["run_name"].split("/", 1)
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
        t = b["cpu_time"] * scale
        best[(case, frame)] = min(t, best.get((case, frame), t))
        if frame not in frames:
            frames.append(frame)
        if "allocations_after_first" in b:
            allocations[frame] = max(allocations.get(frame, 0), b["allocations_after_first"])

    ctx = result.get("context", {})
    print()
    print("Single-threaded; best CPU time of the repetitions, in microseconds.")
    for key in ("opencv", "cv_calcHist", "table_pass"):
        if key in ctx:
            print("  %s: %s" % (key, ctx[key]))
    cases = sorted({c for c, _ in best})
    for frame in frames:
        print()
        print(frame)
        for c in cases:
            if (c, frame) in best:
                print("  %-30s %10.1f us" % (c, best[(c, frame)]))
        print("  %-46s %7s %8s" % ("ratio", "value", "target"))
        for label, num, dens, target in RATIOS:
            if (num, frame) not in best or any((d, frame) not in best for d in dens):
                continue
            value = best[(num, frame)] / sum(best[(d, frame)] for d in dens)
            verdict = ""
            if target is not None:
                verdict = "<= %.2f %s" % (target, "ok" if value <= target else "MISSED")
            print("  %-46s %7.3f  %s" % (label, value, verdict))
        if frame in allocations:
            n = allocations[frame]
            print("  %-46s %7d  %s" % ("allocations by Create after the first", n,
                                       "ok" if n == 0 else "FAILED"))

    failed = any(n != 0 for n in allocations.values())
    if failed:
        print("\nERROR: HistogramEqualization::Create allocated after its first call")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "bench.json"))
