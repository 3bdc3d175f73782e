#!/usr/bin/env python3
"""Benchmarks of the kvbase Python package, as ratios against baselines timed in the same run.

    PYTHONPATH=build/bench/python python3 python/benchmarks/load_benchmark.py [ROUNDS]

1. kvbase.load plus numpy.asarray of a 4096 x 4096 C24 BMP against cv2.imread of the same file (OpenCV
   from Debian's python3-opencv): the median of the per-round ratios of paired runs, each round timing
   both, in alternating order. Target: at most 0.5x.
2. The cost of a trivial binding (image.width) against reading an attribute of a plain Python object,
   per call.
"""

import statistics
import sys
import tempfile
import time
import timeit
from pathlib import Path

import cv2
import numpy as np

import kvbase

SIDE = 4096
TARGET = 0.5


def write_test_file(folder):
    """A 4096 x 4096 colour BMP with varied pixels (48 MiB)."""
    y, x = np.mgrid[0:SIDE, 0:SIDE]
    pixels = np.stack([(x * 7 + y) & 255, (x ^ y) & 255, (x * y >> 5) & 255], axis=2).astype(np.uint8)
    path = Path(folder) / "large.bmp"
    kvbase.Image.from_numpy(pixels).save(path)
    return path, pixels


def seconds(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def paired(work, baseline, rounds):
    """Medians of both times and of their per-round ratios; the order alternates between rounds."""
    ours, theirs, ratios = [], [], []
    for i in range(rounds):
        if i % 2:
            b, w = seconds(baseline), seconds(work)
        else:
            w, b = seconds(work), seconds(baseline)
        ours.append(w)
        theirs.append(b)
        ratios.append(w / b)
    return statistics.median(ours), statistics.median(theirs), statistics.median(ratios)


def load_against_opencv(path, pixels, rounds):
    def load_auto():
        return np.asarray(kvbase.load(path))

    def load_c24():
        return np.asarray(kvbase.load(path, kind="C24"))

    def imread():
        return cv2.imread(str(path), cv2.IMREAD_UNCHANGED)

    assert np.array_equal(load_auto(), pixels) and np.array_equal(imread(), pixels), "the readers disagree"
    for name, work in [("kvbase.load + numpy.asarray", load_auto), ("kvbase.load(kind='C24') + asarray", load_c24)]:
        ours, theirs, ratio = paired(work, imread, rounds)
        verdict = "met" if ratio <= TARGET else "NOT met"
        print(f"{name:36s} {ours * 1e3:7.1f} ms   cv2.imread {theirs * 1e3:7.1f} ms   "
              f"ratio {ratio:.2f}x (target <= {TARGET}x: {verdict})")


def binding_overhead(rounds):
    image = kvbase.Image(64, 64)

    class Plain:
        width = 64

    plain = Plain()
    calls = 200_000
    per_call = []
    for _ in range(rounds):
        ours = timeit.timeit(lambda: image.width, number=calls) / calls
        theirs = timeit.timeit(lambda: plain.width, number=calls) / calls
        per_call.append((ours, theirs))
    ours = statistics.median(o for o, _ in per_call)
    theirs = statistics.median(t for _, t in per_call)
    print(f"{'image.width':36s} {ours * 1e9:7.0f} ns   plain attribute {theirs * 1e9:7.0f} ns   "
          f"ratio {ours / theirs:.2f}x, {(ours - theirs) * 1e9:.0f} ns more per call")


def main(argv):
    rounds = int(argv[1]) if len(argv) > 1 else 15
    print(f"kvbase {kvbase.__version__}, OpenCV {cv2.__version__}, NumPy {np.__version__}; {rounds} rounds")
    with tempfile.TemporaryDirectory() as folder:
        path, pixels = write_test_file(folder)
        load_against_opencv(path, pixels, rounds)
    binding_overhead(rounds)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
