"""Instances that were never initialised and pickles that are malformed: Python errors, never a crash."""

import copyreg
import pickle

import numpy as np
import pytest
from conftest import image_of

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


@pytest.mark.parametrize("kind", ["BW1", "BW8", "BW16", "C24", "C24A"])
@pytest.mark.parametrize("size", [(0, 0), (0, 3), (3, 0)])
def test_empty_images_pickle(kind, size):
    image = kvbase.Image(*size, kind)
    image.title = "empty"
    copy = pickle.loads(pickle.dumps(image))
    assert (copy.kind, copy.width, copy.height, copy.title) == (kind, *size, "empty")
    assert copy.to_numpy().shape == image.to_numpy().shape


class Forged:
    """Pickles as an Image built from `state`, as a damaged or hand-made pickle would (protocol 1, which
    lets __newobj__ name another class than the object's)."""

    def __init__(self, state):
        self.state = state

    def __reduce__(self):
        return copyreg.__newobj__, (kvbase.Image,), self.state


def good_state():
    image = image_of("BW16", 3, 2)
    image.title = "kept"
    return image.__getstate__()


def changed(**changes):
    state = good_state()
    state.update(changes)
    return state


def without(key):
    state = good_state()
    del state[key]
    return state


@pytest.mark.parametrize(
    "state, error",
    [
        (5, TypeError),
        ((1, 2), TypeError),  # (a state of None is never passed: the image stays uninitialised)
        ([("kind", "BW8")], TypeError),
        (without("width"), ValueError),
        (without("pixels"), ValueError),
        (changed(extra=1), ValueError),
        (changed(kind=8), TypeError),
        (changed(kind="BW9"), ValueError),
        (changed(width="3"), TypeError),
        (changed(width=3.0), TypeError),
        (changed(width=-3), ValueError),
        (changed(height=2**40), ValueError),
        (changed(width=2**31 - 1, height=2**31 - 1), ValueError),  # the pixels cannot fill it
        (changed(pixels="text"), TypeError),
        (changed(pixels=bytes(11)), ValueError),
        (changed(pixels=bytes(13)), ValueError),
        (changed(title="a str"), TypeError),
        (changed(title=b"a\0b"), ValueError),
        (changed(comment=5), TypeError),
        (changed(pixel_dimensions=(1.0, 2.0)), ValueError),
        (changed(pixel_dimensions=(1.0, 2.0, "mm", 4)), ValueError),
        (changed(pixel_dimensions=("a", 2.0, "mm")), TypeError),
        (changed(pixel_dimensions=(1.0, 2.0, 3)), TypeError),
        (changed(pixel_dimensions=(1.0, 2.0, "parsec")), ValueError),
        (changed(pixel_dimensions="1,2,mm"), TypeError),
        (changed(pixel_dimensions=(10**400, 2.0, "mm")), ValueError),
        (changed(pixel_dimensions=(1e300, 2.0, "mm")), ValueError),
    ],
)
def test_a_malformed_pickle_is_refused(state, error):
    data = pickle.dumps(Forged(state), protocol=1)
    with pytest.raises(error):
        pickle.loads(data)


def test_a_forged_pickle_of_a_good_state_loads():
    image = pickle.loads(pickle.dumps(Forged(good_state()), protocol=1))
    assert (image.kind, image.width, image.height, image.title) == ("BW16", 3, 2, "kept")
    np.testing.assert_array_equal(image.to_numpy(), image_of("BW16", 3, 2).to_numpy())


def test_setstate_on_a_living_image_changes_nothing():
    image = image_of("BW8", 4, 3)
    before = image.to_numpy()
    image.__setstate__(kvbase.Image(9, 9).__getstate__())
    assert (image.width, image.height) == (4, 3)
    np.testing.assert_array_equal(image.to_numpy(), before)


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_every_protocol_pickles_an_image_and_refuses_the_rest(protocol):
    image = image_of("C24", 5, 3)
    image.title = "any protocol"
    copy = pickle.loads(pickle.dumps(image, protocol=protocol))
    assert (type(copy), copy.title) == (kvbase.Image, "any protocol")
    np.testing.assert_array_equal(copy.to_numpy(), image.to_numpy())
    for unpicklable in (image.roi(1, 1, 2, 2), kvbase.MemoryDC(2, 2)):
        with pytest.raises(TypeError, match="cannot pickle"):
            pickle.dumps(unpicklable, protocol=protocol)


def test_reduce_called_directly_rebuilds_the_image():
    image = image_of("BW8", 2, 2)
    image.title = "reduced"
    rebuild, arguments, state = image.__reduce__()
    copy = rebuild(*arguments)
    copy.__setstate__(state)
    assert (copy.kind, copy.width, copy.height, copy.title) == ("BW8", 2, 2, "reduced")
    np.testing.assert_array_equal(copy.to_numpy(), image.to_numpy())
    for unpicklable in (kvbase.Image(2, 2).roi(0, 0, 1, 1), kvbase.MemoryDC(2, 2)):
        with pytest.raises(TypeError, match="cannot pickle"):
            unpicklable.__reduce__()
    with pytest.raises(TypeError, match="not initialised"):
        kvbase.Image.__new__(kvbase.Image).__reduce__()
