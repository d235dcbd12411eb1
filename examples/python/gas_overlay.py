#!/usr/bin/env python3
"""Finds the gas of the synthetic leak recording and saves one frame's overlay as a PNG.

    PYTHONPATH=build/release/python python3 examples/python/gas_overlay.py [--frame 45] [--output gas_overlay.png]

Every frame runs through one GasDetection against frame 0 (so that its damping acts); the
chosen frame's overlay (the frame in grey, tinted where gas is found) is
written as an 8-bit RGB PNG, and the share of the true plume that was tinted (recall) printed.
"""
import argparse
import struct
import zlib

import numpy as np

import soloma


def write_png(path, rgb):
    """An (height, width, 3) uint8 array as an 8-bit RGB PNG, with the standard library only."""
    height, width, _ = rgb.shape
    raw = b"".join(b"\x00" + rgb[y].tobytes() for y in range(height))  # filter 0 per row

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frame", type=int, default=45, help="frame whose overlay is saved")
    parser.add_argument("--colorization", type=int, default=2,
                        help="the detector's tinting method (0: grey tint)")
    parser.add_argument("--output", default="gas_overlay.png")
    args = parser.parse_args()

    sequence = soloma.synthetic_sequence()
    if not 0 < args.frame < len(sequence):
        parser.error(f"--frame: expected 1 .. {len(sequence) - 1}")
    reference = sequence[0].frame
    detector = soloma.GasDetection(colorization_method=args.colorization)
    for i in range(1, args.frame + 1):
        record = sequence[i]
        colour = soloma.Palettes.apply(record.frame, "grey")
        overlay = detector.run(record.frame, reference, colour)

    # The detector renders the colour image even where it finds nothing: the overlay of a zero
    # difference (the frame against itself, on a separate object) is the untinted rendering.
    untinted = soloma.GasDetection(colorization_method=args.colorization).run(record.frame, record.frame, colour)
    tinted = np.any(overlay != untinted, axis=2)
    plume = record.plume_mask > 0
    recall = (tinted & plume).sum() / max(plume.sum(), 1)
    precision = (tinted & plume).sum() / max(tinted.sum(), 1)
    write_png(args.output, np.ascontiguousarray(overlay[:, :, 2::-1]))  # BGRA -> RGB
    print(f"frame {args.frame}: {plume.sum()} plume pixels, {tinted.sum()} tinted; "
          f"recall {recall:.3f}, precision {precision:.3f} -> {args.output}")


if __name__ == "__main__":
    main()
