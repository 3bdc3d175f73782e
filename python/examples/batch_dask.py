#!/usr/bin/env python3
"""Resizes a folder of images on a Dask cluster: each worker loads, resizes and saves its share.

    python3 batch_dask.py IN_DIR OUT_DIR WIDTHxHEIGHT                    # a LocalCluster of 2 processes
    python3 batch_dask.py IN_DIR OUT_DIR WIDTHxHEIGHT --workers 8
    python3 batch_dask.py IN_DIR OUT_DIR WIDTHxHEIGHT --scheduler tcp://scheduler:8786

With --scheduler the same work runs on an existing cluster; its workers need the kvbase package and
both folders (a shared file system). Every .bmp, .tif, .jpg and .png file of IN_DIR is written to OUT_DIR
under its own name, in the format it was read from. A file the library cannot read is reported with the
error's code and text, and the others are still done; the exit status is 1 when any file failed.

Only paths travel to the workers and only small reports come back; kvbase images pickle too, for work
that must send pixels between processes.
"""

import argparse
import pathlib
import sys

from dask.distributed import Client, LocalCluster

IMAGE_SUFFIXES = {".bmp", ".tif", ".jpg", ".png"}


def resized(image, width, height):
    """The library resizes every kind that files hold but BW1: bilevel pixels go through a BW8 copy."""
    import kvbase
    import numpy

    if image.kind != "BW1":
        return image.resized(width, height)
    levels = kvbase.Image.from_numpy(image.to_numpy().astype(numpy.uint8))
    return kvbase.Image.from_bits(numpy.asarray(levels.resized(width, height)) != 0)


def resize_file(source, destination, width, height):
    """On a worker: one file loaded, resized and saved. Returns a small report."""
    import kvbase  # imported in the worker process

    try:
        image = kvbase.load(source)
        resized(image, width, height).save(destination, image.format)
    except kvbase.Error as error:
        return {"file": source, "error": f"{error.code} {error.text}"}
    return {"file": source, "kind": image.kind, "format": image.format}


def resize_folder(client, in_dir, out_dir, width, height):
    """Resizes every image file of in_dir into out_dir on the client's cluster; the reports, in order."""
    sources = sorted(p for p in pathlib.Path(in_dir).iterdir() if p.suffix in IMAGE_SUFFIXES)
    out = pathlib.Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    futures = client.map(resize_file, [str(p) for p in sources], [str(out / p.name) for p in sources],
                         [width] * len(sources), [height] * len(sources))
    return client.gather(futures)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("in_dir")
    parser.add_argument("out_dir")
    parser.add_argument("size", help="WIDTHxHEIGHT of the resized images")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the LocalCluster")
    arguments = parser.parse_args(argv)
    try:
        arguments.width, arguments.height = (int(n) for n in arguments.size.split("x"))
    except ValueError:
        parser.error("size must be WIDTHxHEIGHT, for example 640x480")
    return arguments


def main(argv):
    arguments = parse_arguments(argv)
    if arguments.scheduler:
        with Client(arguments.scheduler) as client:
            reports = resize_folder(client, arguments.in_dir, arguments.out_dir, arguments.width, arguments.height)
    else:
        # Processes, one thread each: a CPU-bound batch goes as wide as the workers.
        with LocalCluster(n_workers=arguments.workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            reports = resize_folder(client, arguments.in_dir, arguments.out_dir, arguments.width, arguments.height)
    failed = [r for r in reports if "error" in r]
    for report in failed:
        print(f"{report['file']}: {report['error']}", file=sys.stderr)
    print(f"{len(reports) - len(failed)} of {len(reports)} images resized to {arguments.width} x {arguments.height}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
