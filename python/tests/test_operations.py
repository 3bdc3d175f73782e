"""Resizing, the two renderers and drawing into memory device contexts, checked against NumPy."""

import numpy as np
import pytest
from conftest import image_of

import kvbase


def nearest(pixels, width, height):
    """Destination (x, y) takes source (floor(x * Ws / Wd), floor(y * Hs / Hd))."""
    rows = np.arange(height) * pixels.shape[0] // height
    columns = np.arange(width) * pixels.shape[1] // width
    return pixels[rows][:, columns]


@pytest.mark.parametrize("kind", ["BW8", "BW16", "C15", "C16", "C24", "C24A"])
@pytest.mark.parametrize("size", [(7, 3), (45, 19), (100, 61)])
def test_resize_picks_the_nearest_pixel_at_or_before(kind, size):
    source = image_of(kind, 45, 19)
    expected = nearest(source.to_numpy(), *size)
    np.testing.assert_array_equal(source.resized(*size).to_numpy(), expected)
    destination = kvbase.Image(*size, kind)
    kvbase.resize(source, destination)
    np.testing.assert_array_equal(np.asarray(destination), expected)


def test_resize_into_an_roi_writes_only_its_rectangle():
    source = image_of("C24", 20, 10)
    canvas = kvbase.Image(40, 30, "C24")
    np.asarray(canvas)[...] = 7
    expected = canvas.to_numpy()
    expected[5:20, 3:33] = nearest(source.to_numpy(), 30, 15)
    kvbase.resize(source.roi(0, 0, 20, 10), canvas.roi(3, 5, 30, 15))
    np.testing.assert_array_equal(np.asarray(canvas), expected)


def test_relief_seen_from_straight_above_is_a_copy():
    heights = image_of("BW8", 100, 80)
    destination = kvbase.Image(100, 80)
    kvbase.render_relief(heights, destination, tilt=0, turn=0, scale_z=0)
    np.testing.assert_array_equal(np.asarray(destination), np.asarray(heights))
    colours = image_of("C24", 100, 80, seed=3)
    coloured = kvbase.Image(100, 80, "C24")
    kvbase.render_relief(heights, coloured, tilt=0, turn=0, scale_z=0, colors=colours)
    np.testing.assert_array_equal(np.asarray(coloured), np.asarray(colours))


def test_gray_and_colour_reliefs_take_the_same_degrees():
    # The gray relief takes angles in the library's angle unit, the colour relief in radians; both see
    # degrees from Python, so the same heights give the same picture.
    y, x = np.mgrid[0:60, 0:80]
    heights = kvbase.Image.from_numpy(((np.sin(x / 9.0) + np.cos(y / 7.0)) * 60 + 128).astype(np.uint8))
    gray, colour = kvbase.Image(200, 200), kvbase.Image(200, 200, "C24")
    kvbase.render_relief(heights, gray, tilt=35, turn=25, dot_mode=4)
    kvbase.render_relief(heights, colour, tilt=35, turn=25, dot_mode=4,
                         colors=kvbase.Image.from_numpy(np.repeat(np.asarray(heights)[..., None], 3, axis=2)))
    assert (np.asarray(gray) != 128).mean() > 0.1  # a picture, not just the background
    np.testing.assert_array_equal(np.asarray(colour)[..., 1], np.asarray(gray))


def test_color_histogram_of_one_colour_is_one_point_and_the_cube():
    source = kvbase.Image(16, 16, "C24")
    np.asarray(source)[...] = (10, 200, 30)  # blue, green, red: X = red 30, Y = green 200, Z = blue 10
    destination = kvbase.Image(256, 256, "C24")
    kvbase.render_color_histogram(source, destination, tilt=0, turn=0)
    picture = np.asarray(destination)
    assert picture[200, 30].tolist() == [10, 200, 30]
    inner = picture[1:255, 1:255].reshape(-1, 3)
    assert sorted(set(map(tuple, inner.tolist()))) == [(10, 200, 30), (128, 128, 128)]
    again = kvbase.Image(256, 256, "C24")
    kvbase.render_color_histogram(source, again, tilt=0, turn=0, coordinates=source)
    np.testing.assert_array_equal(np.asarray(again), picture)


def test_draw_shows_pixels_at_the_place_and_zoom_asked():
    gray = image_of("BW8", 10, 6)
    dc = kvbase.MemoryDC(40, 30)
    dc.draw(gray, x=5, y=3)
    pixels = dc.pixels()
    assert pixels.shape == (30, 40, 4) and pixels.dtype == np.uint8
    np.testing.assert_array_equal(pixels[3:9, 5:15, :3], np.repeat(np.asarray(gray)[..., None], 3, axis=2))
    assert not pixels[:3].any() and not pixels[9:].any() and not pixels[:, :5].any()

    zoomed = kvbase.MemoryDC(40, 30, bits=24)
    zoomed.draw(gray.roi(2, 1, 6, 4), zoom=(3, 2))
    expected = np.repeat(np.repeat(np.asarray(gray)[1:5, 2:8], 2, axis=0), 3, axis=1)
    np.testing.assert_array_equal(zoomed.pixels()[:8, :18, 1], expected)


def test_draw_through_lookup_tables_and_in_colour():
    gray = image_of("BW8", 16, 8)
    dc = kvbase.MemoryDC(16, 8)
    dc.draw(gray, lut=np.arange(256)[::-1])
    np.testing.assert_array_equal(dc.pixels()[..., 0], 255 - np.asarray(gray))
    table = np.stack([np.arange(256), np.zeros(256, int), np.full(256, 9)], axis=1)  # blue ramp, red 9
    dc.draw(gray, lut=table)
    np.testing.assert_array_equal(dc.pixels()[..., :3], np.stack([np.asarray(gray), 0 * np.asarray(gray),
                                                                  np.full((8, 16), 9)], axis=2))
    colour = image_of("C24", 16, 8)
    dc.draw(colour)
    np.testing.assert_array_equal(dc.pixels()[..., :3], np.asarray(colour))


def test_mask_and_frame_land_in_root_coordinates():
    image = kvbase.Image(60, 40)
    roi = image.roi(10, 8, 30, 20)
    roi.set_rectangle_mask(2, 3, 4, 1)
    dc = kvbase.MemoryDC(60, 40, bits=24)
    dc.draw_mask(roi, zoom=2, color=(0, 0, 255))
    blue = dc.pixels()[..., 0] == 255
    expected = np.zeros((40, 60), bool)
    expected[22:24, 24:32] = True  # row 8 + 3, columns 10 + 2 to 10 + 6, zoomed by 2
    np.testing.assert_array_equal(blue, expected)

    framed = kvbase.MemoryDC(60, 40)
    framed.draw_frame(roi, handles=False, color=(255, 0, 0))
    red = (framed.pixels()[..., :3] == (0, 0, 255)).all(axis=2)
    outline = np.zeros((40, 60), bool)
    outline[8, 10:40] = outline[27, 10:40] = outline[8:28, 10] = outline[8:28, 39] = True
    np.testing.assert_array_equal(red, outline)


@pytest.mark.parametrize("bits, dtype, shape", [(1, bool, (5, 7)), (8, np.uint8, (5, 7)), (16, np.uint16, (5, 7)),
                                                (24, np.uint8, (5, 7, 3)), (32, np.uint8, (5, 7, 4))])
def test_device_pixels_copy_every_depth(bits, dtype, shape):
    dc = kvbase.MemoryDC(7, 5, bits=bits)
    white = kvbase.Image(3, 2)
    np.asarray(white)[...] = 255
    dc.draw(white, x=1, y=1)
    pixels = dc.pixels()
    assert pixels.dtype == dtype and pixels.shape == shape
    lit = pixels.reshape(5, 7, -1).any(axis=2)
    assert lit[1:3, 1:4].all() and lit.sum() == 6


def test_zoom_and_pan_pairs_are_read_through_their_strides():
    gray = image_of("BW8", 10, 6)
    roi = gray.roi(2, 1, 5, 3)
    roi.set_rectangle_mask(1, 1, 3, 1)
    pairs = {"zoom": (np.array([3, 99, 2], np.float32)[::2], (3, 2)),
             "pan": (np.array([[4, -7], [1, -7]], np.float32)[:, 0], (4, 1))}

    def drawn(zoom, pan):
        dc = kvbase.MemoryDC(60, 40, bits=24)
        dc.draw(gray, zoom=zoom)
        dc.draw_frame(roi, zoom=zoom, pan=pan, handles=False)
        dc.draw_mask(roi, zoom=zoom, pan=pan)
        return dc.pixels()

    strided = drawn(pairs["zoom"][0], pairs["pan"][0])
    np.testing.assert_array_equal(strided, drawn(pairs["zoom"][1], pairs["pan"][1]))
    assert not np.array_equal(strided, drawn(3, pairs["pan"][1]))  # the pair was not read as one number


def test_lookup_tables_in_any_memory_order():
    gray = image_of("BW8", 16, 8)
    rows = np.stack([np.arange(256), 255 - np.arange(256), np.arange(256) // 2], axis=1)
    expected = np.stack([np.asarray(gray), 255 - np.asarray(gray), np.asarray(gray) // 2], axis=2)
    for table in (rows, np.asfortranarray(rows), np.asfortranarray(rows.astype(np.uint8)), rows.tolist()):
        dc = kvbase.MemoryDC(16, 8)
        dc.draw(gray, lut=table)
        np.testing.assert_array_equal(dc.pixels()[..., :3], expected)
    levels = np.arange(512, dtype=np.int32).reshape(256, 2)[::-1, 1] // 2  # strided, backwards
    dc = kvbase.MemoryDC(16, 8)
    dc.draw(gray, lut=levels)
    np.testing.assert_array_equal(dc.pixels()[..., 0], 255 - np.asarray(gray))


def available_memory():
    with open("/proc/meminfo") as info:
        fields = dict(line.split(":", 1) for line in info)
    return int(fields["MemAvailable"].split()[0]) * 1024


@pytest.mark.skipif(available_memory() < 8 << 30, reason="needs 8 GiB of free memory")
def test_device_pixels_beyond_two_gigabytes():
    # 32770 rows of 65536 bytes: row offsets past 2**31 must not wrap. The device's untouched pages cost
    # no memory; the copy costs 2 GiB.
    width, height = 65536, 32770
    dc = kvbase.MemoryDC(width, height, bits=8)
    mark = kvbase.Image(3, 2)
    np.asarray(mark)[...] = 255
    dc.draw(mark, x=width - 3, y=height - 2)
    pixels = dc.pixels()
    corner = pixels[-2:, -3:]
    assert corner.min() == corner.max() != 0
    assert not pixels[-2:, :-3].any() and not pixels[:-2, -3:].any()
