"""Image files through the module: every format round trip, the kind a load chooses, paths, settings."""

import pathlib

import numpy as np
import pytest
from conftest import image_of

import kvbase

# (kind saved, format code, kind an automatic load chooses, file name extension)
LOSSLESS = [
    ("BW1", kvbase.FILE_FORMAT_TIFF_BILEVEL, "BW1", "tif"),
    ("BW1", kvbase.FILE_FORMAT_TIFF_BILEVEL_PACKBITS, "BW1", "tif"),
    ("BW1", kvbase.FILE_FORMAT_BMP_BILEVEL, "BW1", "bmp"),
    ("BW1", kvbase.FILE_FORMAT_PNG_BILEVEL, "BW1", "png"),
    ("BW8", kvbase.FILE_FORMAT_TIFF_GRAY, "BW8", "tif"),
    ("BW8", kvbase.FILE_FORMAT_TIFF_GRAY_PACKBITS, "BW8", "tif"),
    ("BW8", kvbase.FILE_FORMAT_BMP_GRAY, "BW8", "bmp"),
    ("BW8", kvbase.FILE_FORMAT_PNG_GRAY, "BW8", "png"),
    ("BW8", kvbase.FILE_FORMAT_TIFF_GRAY_DEFLATE, "BW8", "tif"),
    ("BW8", kvbase.FILE_FORMAT_TIFF_GRAY_LZW, "BW8", "tif"),
    ("BW16", kvbase.FILE_FORMAT_TIFF_GRAY, "BW16", "tif"),
    ("BW16", kvbase.FILE_FORMAT_PNG_GRAY, "BW16", "png"),
    ("BW16", kvbase.FILE_FORMAT_TIFF_GRAY_DEFLATE, "BW16", "tif"),
    ("BW16", kvbase.FILE_FORMAT_TIFF_GRAY_LZW, "BW16", "tif"),
    ("C15", kvbase.FILE_FORMAT_BMP_COLOR, "C15", "bmp"),
    ("C16", kvbase.FILE_FORMAT_BMP_COLOR, "C16", "bmp"),
    ("C24", kvbase.FILE_FORMAT_TIFF_COLOR, "C24", "tif"),
    ("C24", kvbase.FILE_FORMAT_BMP_COLOR, "C24", "bmp"),
    ("C24", kvbase.FILE_FORMAT_PNG_COLOR, "C24", "png"),
    ("C24", kvbase.FILE_FORMAT_TIFF_COLOR_DEFLATE, "C24", "tif"),
    ("C24", kvbase.FILE_FORMAT_TIFF_COLOR_LZW, "C24", "tif"),
]


@pytest.fixture(autouse=True)
def default_file_settings():
    yield
    kvbase.set_jpeg_quality(50)
    kvbase.set_tiff_threshold(128)
    kvbase.set_tiff_strip_size(8192)
    kvbase.set_png_compression_level(6)


@pytest.mark.parametrize("kind, code, loads_as, extension", LOSSLESS)
def test_lossless_round_trip(tmp_path, kind, code, loads_as, extension):
    image = image_of(kind, 45, 19)
    path = tmp_path / f"picture.{extension}"
    image.save(path, code)
    loaded = kvbase.load(path)
    assert (loaded.kind, loaded.format) == (loads_as, code)
    np.testing.assert_array_equal(loaded.to_numpy(), image.to_numpy())
    roi = image.roi(3, 2, 30, 11)  # an ROI saves its own pixels; BW1 is saved from images only
    if kind != "BW1":
        roi.save(path, code)
        np.testing.assert_array_equal(kvbase.load(path, kind=kind).to_numpy(), roi.to_numpy())


@pytest.mark.parametrize("kind, code", [("BW8", kvbase.FILE_FORMAT_JPEG_GRAY), ("C24", kvbase.FILE_FORMAT_JPEG_COLOR)])
def test_jpeg_round_trip_is_close_and_follows_the_quality(tmp_path, kind, code):
    ramp = np.add.outer(np.arange(48), np.arange(64)).astype(np.uint8) * 2
    image = kvbase.Image(64, 48, kind)
    np.asarray(image)[...] = ramp if kind == "BW8" else ramp[..., None]
    sizes = []
    for quality in (20, 95):
        kvbase.set_jpeg_quality(quality)
        path = tmp_path / f"q{quality}.jpg"
        image.save(path, code)
        sizes.append(path.stat().st_size)
    loaded = kvbase.load(path)
    assert (loaded.kind, loaded.format) == (kind, code)
    assert np.abs(loaded.to_numpy().astype(int) - image.to_numpy()).mean() < 2
    assert sizes[0] < sizes[1]


def test_gray_saved_as_bilevel_tiff_follows_the_threshold(tmp_path):
    gray = image_of("BW8", 30, 10)
    kvbase.set_tiff_threshold(100)
    gray.save(tmp_path / "bits.tif", kvbase.FILE_FORMAT_TIFF_BILEVEL)
    loaded = kvbase.load(tmp_path / "bits.tif")
    assert loaded.kind == "BW1"
    np.testing.assert_array_equal(loaded.to_numpy(), gray.to_numpy() >= 100)


def test_png_compression_level_changes_the_file(tmp_path):
    image = kvbase.Image(64, 64)  # zeros: stored plainly at level 0, squeezed at 9
    kvbase.set_png_compression_level(0)
    image.save(tmp_path / "stored.png", kvbase.FILE_FORMAT_PNG_GRAY)
    kvbase.set_png_compression_level(9)
    image.save(tmp_path / "packed.png", kvbase.FILE_FORMAT_PNG_GRAY)
    assert (tmp_path / "packed.png").stat().st_size < (tmp_path / "stored.png").stat().st_size


@pytest.mark.parametrize("spell", [str, pathlib.Path, lambda p: str(p).encode()])
def test_paths_may_be_str_bytes_or_path_like(tmp_path, spell):
    image = image_of("C24", 9, 5)
    image.title = "part 7"
    image.set_resolution(4.0, 2.0, "mm")
    image.save(spell(tmp_path / "part.tif"))  # the extension chooses colour TIFF
    image.save(spell(tmp_path / "part.png"))
    assert kvbase.load(spell(tmp_path / "part.png")).format == kvbase.FILE_FORMAT_PNG_COLOR
    loaded = kvbase.load(spell(tmp_path / "part.tif"))
    assert loaded.format == kvbase.FILE_FORMAT_TIFF_COLOR and loaded.title == "part 7"
    x, y, unit = loaded.get_resolution()
    assert unit in ("mm", "cm", "inch") and x / y == pytest.approx(2.0, rel=1e-3)
    np.testing.assert_array_equal(np.asarray(loaded), np.asarray(image))


def test_load_failures(tmp_path):
    (tmp_path / "noise.bmp").write_bytes(b"not an image at all")
    cases = [
        (lambda: kvbase.load(tmp_path / "missing.bmp"), 1102, ["KROIBW1::Load"]),
        (lambda: kvbase.load(tmp_path / "missing.bmp", kind="C24"), 1102, ["KImageC24::Load"]),
        (lambda: kvbase.load(tmp_path / "noise.bmp"), 1105, ["KROIBW1::Load"]),
        (lambda: kvbase.load(tmp_path / "noise.bmp", kind="BW32"), 1418, ["KImage::Load"]),
    ]
    for load, code, traces in cases:
        with pytest.raises(kvbase.Error) as failure:
            load()
        assert (failure.value.code, failure.value.traces) == (code, traces)


def test_a_kind_mismatch_is_reported_for_the_kind_asked_for(tmp_path):
    image_of("C24", 8, 8).save(tmp_path / "colour.bmp")
    with pytest.raises(kvbase.Error) as failure:
        kvbase.load(tmp_path / "colour.bmp", kind="BW8")
    assert failure.value.traces == ["KROIBW8::Load"] and failure.value.code >= 1000
    assert kvbase.load(tmp_path / "colour.bmp").kind == "C24"  # the automatic choice passes over it


def test_save_refusals_name_the_saving_function(tmp_path):
    for image, path, code, traces in [
        (image_of("BW16", 4, 4), tmp_path / "a.bmp", 1203, ["KROIBW16::Save"]),
        (image_of("BW8", 4, 4), tmp_path / "a.TIF", 1109, ["KROIBW8::Save"]),
        (image_of("C24A", 4, 4), tmp_path / "a.tif", 1418, ["KImage::Save"]),
        (image_of("BW1", 4, 4).roi(0, 0, 2, 2), tmp_path / "a.tif", 1418, ["KROI::Save"]),
    ]:
        with pytest.raises(kvbase.Error) as failure:
            image.save(path)
        assert (failure.value.code, failure.value.traces) == (code, traces)
        assert not path.exists()


@pytest.mark.parametrize("kind", ["BW1", "BW8", "BW16", "C24"])
def test_repr_png_shows_the_pixels_inline(tmp_path, kind):
    image = image_of(kind, 23, 11)
    data = image._repr_png_()
    assert data.startswith(b"\x89PNG\r\n\x1a\n")
    (tmp_path / "shown.png").write_bytes(data)
    np.testing.assert_array_equal(kvbase.load(tmp_path / "shown.png", kind=kind).to_numpy(), image.to_numpy())
    assert kvbase.Image(4, 4, "BW32")._repr_png_() is None
