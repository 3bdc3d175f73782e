#!/usr/bin/env python3
"""A tour of the kvbase Python package: writes a few pictures into OUT_DIR (default demo-out/python).

    PYTHONPATH=build/default/python python3 python/examples/tour.py demo-out/python

It makes a colour picture with NumPy, saves and loads it in every container, views a gray version
through a lookup table with an ROI's mask and frame, and renders a relief and a colour histogram.
"""

import pathlib
import sys

import numpy as np

import kvbase


def synthetic_part(width=320, height=240):
    """A colour picture (blue, green, red bytes, as C24 holds them): a gradient, a disc and a bar."""
    y, x = np.mgrid[0:height, 0:width]
    pixels = np.zeros((height, width, 3), np.uint8)
    pixels[..., 0] = 255 * x // width  # blue rises to the right
    pixels[..., 1] = 255 * y // height  # green rises downwards
    disc = (x - 110) ** 2 + (y - 120) ** 2 < 70**2
    pixels[disc] = (40, 60, 230)
    pixels[60:180, 220:260] = (30, 200, 240)
    return kvbase.Image.from_numpy(pixels)  # the image borrows the array: no copy


def save_everywhere(part, out):
    """The picture in each container, chosen by the extension, and loaded back."""
    for name in ["part.bmp", "part.tif", "part.jpg", "part.png"]:
        part.save(out / name)
        loaded = kvbase.load(out / name)
        print(f"  {name}: loaded back as {loaded.kind}, format {loaded.format}, {loaded.width} x {loaded.height}")


def view_with_roi(gray, out):
    """The gray picture through a gain lookup table, an ROI's ring mask and its frame, at zoom 1.5."""
    roi = gray.roi(50, 40, 130, 150)
    roi.set_ring_mask(0.6)
    gain = np.clip(np.arange(256) * 1.4 - 30, 0, 255).astype(np.uint8)
    dc = kvbase.MemoryDC(int(gray.width * 1.5) + 8, int(gray.height * 1.5) + 8, bits=24)
    dc.draw(gray, x=4, y=4, zoom=1.5, lut=gain)
    dc.draw_mask(roi, x=4, y=4, zoom=1.5, color=(0, 200, 0))
    dc.draw_frame(roi, x=4, y=4, zoom=1.5, position="outside", color=(255, 0, 0))
    picture = kvbase.Image.from_numpy(np.ascontiguousarray(dc.pixels()))
    picture.save(out / "view.bmp")


def main(argv):
    out = pathlib.Path(argv[1] if len(argv) > 1 else "demo-out/python")
    out.mkdir(parents=True, exist_ok=True)
    print(f"kvbase {kvbase.__version__}: pictures into {out}/")

    part = synthetic_part()
    save_everywhere(part, out)

    colour = np.asarray(part).astype(np.uint32)  # a view of the image's rows, then a computation
    gray = kvbase.Image.from_numpy(((colour[..., 0] * 29 + colour[..., 1] * 150 + colour[..., 2] * 77) >> 8)
                                   .astype(np.uint8))
    gray.title = "tour: gray part"
    gray.save(out / "gray.tif")
    gray.resized(80, 60).save(out / "thumbnail.bmp")
    print("  gray.tif, thumbnail.bmp: a gray version and an 80 x 60 thumbnail")

    view_with_roi(gray, out)
    print("  view.bmp: lookup table, ring mask and frame of an ROI, zoom 1.5")

    relief = kvbase.Image(400, 400, "C24")
    kvbase.render_relief(gray.resized(240, 180), relief, tilt=35, turn=25, scale_z=0.5, dot_mode=4,
                         colors=part.resized(240, 180))
    relief.save(out / "relief.bmp")
    histogram = kvbase.Image(512, 512, "C24")
    kvbase.render_color_histogram(part, histogram, tilt=30, turn=35, scale_x=1.2, scale_y=1.2, scale_z=1.2)
    histogram.save(out / "colour-histogram.bmp")
    print("  relief.bmp, colour-histogram.bmp: the part as a landscape, its colours in the colour cube")

    try:
        kvbase.load(out / "missing.bmp")
    except kvbase.Error as error:
        print(f"  failures raise kvbase.Error: code {error.code}, {error.text!r}, traces {error.traces}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
