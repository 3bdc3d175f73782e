"""The examples run as users run them: as programs, against the package under test."""

import pathlib
import re
import subprocess
import sys

import numpy as np
from conftest import image_of

import kvbase

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"

# (kind, format code, extension) of the generated input files.
INPUTS = [
    ("BW1", kvbase.FILE_FORMAT_TIFF_BILEVEL_PACKBITS, "tif"),
    ("BW8", kvbase.FILE_FORMAT_BMP_GRAY, "bmp"),
    ("BW16", kvbase.FILE_FORMAT_TIFF_GRAY, "tif"),
    ("C15", kvbase.FILE_FORMAT_BMP_COLOR, "bmp"),
    ("C24", kvbase.FILE_FORMAT_TIFF_COLOR, "tif"),
    ("C24", kvbase.FILE_FORMAT_JPEG_COLOR, "jpg"),
    ("BW16", kvbase.FILE_FORMAT_PNG_GRAY, "png"),
]


def nearest_bits(bits, width, height):
    return bits[np.arange(height) * bits.shape[0] // height][:, np.arange(width) * bits.shape[1] // width]


def run(*arguments):
    return subprocess.run([sys.executable, *map(str, arguments)], capture_output=True, text=True, timeout=240)


def test_tour_writes_its_pictures(tmp_path):
    result = run(EXAMPLES / "tour.py", tmp_path)
    assert result.returncode == 0, result.stderr
    for name in ["part.bmp", "part.tif", "part.jpg", "part.png", "gray.tif", "thumbnail.bmp", "view.bmp", "relief.bmp",
                 "colour-histogram.bmp"]:
        picture = kvbase.load(tmp_path / name)
        assert picture.width > 0 and picture.to_numpy().std() > 0, name


def test_batch_dask_on_two_local_workers_resizes_every_file(tmp_path):
    in_dir, out_dir = tmp_path / "in", tmp_path / "out"
    in_dir.mkdir()
    for i in range(36):
        kind, code, extension = INPUTS[i % len(INPUTS)]
        image_of(kind, 50 + i, 30 + i % 7, seed=i).save(in_dir / f"image{i:02}.{extension}", code)
    (in_dir / "broken.bmp").write_bytes(b"BM but nothing else")

    result = run(EXAMPLES / "batch_dask.py", in_dir, out_dir, "40x24", "--workers", "2")
    assert result.returncode == 1  # the broken file, reported; the others done
    assert re.search(r"broken\.bmp: 1\d{3} ", result.stderr), result.stderr
    assert "36 of 37 images resized to 40 x 24" in result.stdout

    for i in range(36):
        kind, code, extension = INPUTS[i % len(INPUTS)]
        name = f"image{i:02}.{extension}"
        source, output = kvbase.load(in_dir / name), kvbase.load(out_dir / name)
        assert (output.kind, output.format, output.width, output.height) == (kind, code, 40, 24)
        expected = kvbase.Image.from_bits(nearest_bits(source.to_numpy(), 40, 24)) if kind == "BW1" \
            else source.resized(40, 24)
        if extension == "jpg":  # compressed again: compare with the same steps taken here
            expected.save(tmp_path / "expected.jpg", code)
            expected = kvbase.load(tmp_path / "expected.jpg")
        np.testing.assert_array_equal(output.to_numpy(), expected.to_numpy(), err_msg=name)
