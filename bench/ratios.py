#!/usr/bin/env python3
"""Prints the ratio table of a soloma_bench JSON result and checks the targets.

The ratio and rate lines come from the result's context (each benchmark file declares its
own). Each case's time is its best over the repetitions: CPU time in the single-threaded run,
which leaves out the time other processes held its core, and wall-clock time in the run with
the default thread count. Exits with 1 when a case allocated in steady state.
"""
import json
import sys


def load(path):
    with open(path) as f:
        result = json.load(f)
    ctx = result.get("context", {})
    single = ctx.get("soloma_threads", "1") == "1"
    best = {}         # (case, frame) -> microseconds
    allocations = {}  # (case, frame) -> allocations after the first call
    errors = []
    frames = []
    for b in result["benchmarks"]:
        if b.get("error_occurred"):
            errors.append("%s: %s" % (b["name"], b.get("error_message")))
            continue
        if b.get("run_type") != "iteration":
            continue
        case, frame = b["run_name"].split("/", 1)
        frame = frame.replace("/real_time", "")
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
        t = (b["cpu_time"] if single else b["real_time"]) * scale
        best[(case, frame)] = min(t, best.get((case, frame), t))
        if frame not in frames:
            frames.append(frame)
        if "allocations_after_first" in b:
            key = (case, frame)
            allocations[key] = max(allocations.get(key, 0), b["allocations_after_first"])
    ratios = []
    for key in sorted(k for k in ctx if k.startswith("ratio_")):
        label, num, dens, target = ctx[key].split("|")
        ratios.append((label, num, dens.split(","), float(target) if target else None))
    notes = {k[len("note_"):]: v for k, v in ctx.items() if k.startswith("note_")}
    rates = [ctx[k].split("|") for k in sorted(k for k in ctx if k.startswith("rate_"))]
    return ctx, single, best, allocations, errors, frames, ratios, notes, rates


def main(path):
    ctx, single, best, allocations, errors, frames, ratios, notes, rates = load(path)
    print()
    if single:
        print("Single thread; best CPU time of the repetitions, in microseconds.")
    else:
        print("Default thread count (%s); best wall-clock time of the repetitions, in "
              "microseconds." % ctx.get("soloma_threads"))
    if "opencv" in ctx:
        print("  OpenCV %s" % ctx["opencv"])
    for key, text in sorted(notes.items()):
        print("  %s: %s" % (key, text))
    for frame in frames:
        print()
        print(frame)
        for c in sorted({c for c, f in best if f == frame}):
            print("  %-40s %10.1f us" % (c, best[(c, frame)]))
        print("  %-62s %7s %8s" % ("ratio", "value", "target"))
        for label, num, dens, target in ratios:
            if (num, frame) not in best or any((d, frame) not in best for d in dens):
                continue
            value = best[(num, frame)] / sum(best[(d, frame)] for d in dens)
            verdict = ""
            if target is not None:
                verdict = "<= %.2f %s" % (target, "ok" if value <= target else "MISSED")
            print("  %-62s %7.3f  %s" % (label, value, verdict))
        for label, case in rates:
            if (case, frame) in best:
                print("  %-62s %7.1f /s" % (label, 1e6 / best[(case, frame)]))
    failed = {k: n for k, n in allocations.items() if n != 0}
    print()
    if allocations:
        print("Steady-state allocations: %s" % (
            "none in %d case(s)" % len(allocations) if not failed else
            ", ".join("%s/%s: %d" % (c, f, n) for (c, f), n in sorted(failed.items()))))
    for e in errors:
        print("ERROR in %s" % e)
    return 1 if failed or errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "bench.json"))
