"""Instances that were never initialised: Python errors, never a crash."""

import pickle

import numpy as np
import pytest

import kvbase

# What a program can do with an image or ROI, each of which reaches the C++ object behind it.
USES = {
    "width": lambda o: o.width,
    "kind": lambda o: o.kind,
    "title": lambda o: o.title,
    "set title": lambda o: setattr(o, "title", "x"),
    "resolution": lambda o: o.get_resolution(),
    "set resolution": lambda o: o.set_resolution(2, 2),
    "repr": repr,
    "roi": lambda o: o.roi(0, 0, 1, 1),
    "mask": lambda o: o.set_ellipse_mask(),
    "mask runs": lambda o: o.mask_runs(),
    "mask array": lambda o: o.mask_array(),
    "pointer": lambda o: o.get_image_ptr(),
    "memoryview": memoryview,
    "asarray": np.asarray,
    "to_numpy": lambda o: o.to_numpy(),
    "save": lambda o: o.save("never-written.bmp"),
    "resized": lambda o: o.resized(2, 2),
    "resize into": lambda o: kvbase.resize(kvbase.Image(2, 2), o),
    "draw": lambda o: kvbase.MemoryDC(4, 4).draw(o),
    "draw mask": lambda o: kvbase.MemoryDC(4, 4).draw_mask(o),
}


@pytest.mark.parametrize(
    "cls, use",
    [(cls, use) for cls in (kvbase.Image, kvbase.ROI, kvbase.GenericROI) for use in sorted(USES)
     if use != "repr" or cls is not kvbase.GenericROI])  # GenericROI keeps object's own repr
def test_an_instance_made_by_new_alone_is_refused(cls, use):
    bare = cls.__new__(cls)
    with pytest.raises(TypeError, match="not initialised"):
        USES[use](bare)


def test_a_pickle_that_never_builds_its_image_gives_one_that_is_refused():
    # NEWOBJ without the BUILD that would pass the state to __setstate__.
    image = pickle.loads(b"\x80\x02c" + kvbase.Image.__module__.encode() + b"\nImage\n)\x81.")
    assert type(image) is kvbase.Image
    with pytest.raises(TypeError, match="not initialised"):
        image.width
    with pytest.raises(TypeError, match="not initialised"):
        pickle.dumps(image)


@pytest.mark.parametrize("use", ["width", "bits", "pixels", "draw"])
def test_a_device_context_made_by_new_alone_is_refused(use):
    bare = kvbase.MemoryDC.__new__(kvbase.MemoryDC)
    calls = {"width": lambda: bare.width, "bits": lambda: bare.bits, "pixels": bare.pixels,
             "draw": lambda: bare.draw(kvbase.Image(2, 2))}
    with pytest.raises(TypeError, match="not initialised"):
        calls[use]()


def test_methods_called_on_another_type_are_refused():
    with pytest.raises(TypeError, match="must be a kvbase.Image or kvbase.ROI"):
        kvbase.GenericROI.mask_runs(np.zeros((2, 2), np.uint8))
    with pytest.raises(TypeError, match="must be a kvbase.MemoryDC"):
        kvbase.MemoryDC.pixels(kvbase.Image(2, 2))
