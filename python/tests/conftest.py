"""Shared helpers of the kvbase tests: images of every kind filled with varied pixels."""

import numpy as np
import pytest

import kvbase

# The kinds whose pixels NumPy views show, with the dtype and the trailing shape of the view.
VIEW_KINDS = {
    "BW8": (np.uint8, ()),
    "BW16": (np.uint16, ()),
    "BW32": (np.uint32, ()),
    "C15": (np.uint16, ()),
    "C16": (np.uint16, ()),
    "C24": (np.uint8, (3,)),
    "C24A": (np.uint8, (4,)),
}


def random_pixels(kind, width, height, seed=0):
    """Random pixels of `kind` as the array numpy.asarray gives for it (bool for BW1)."""
    rng = np.random.default_rng(seed)
    if kind == "BW1":
        return rng.integers(0, 2, (height, width)).astype(bool)
    dtype, channels = VIEW_KINDS[kind]
    values = rng.integers(0, np.iinfo(dtype).max, (height, width) + channels, endpoint=True, dtype=dtype)
    if kind == "C15":
        values &= 0x7FFF  # the top bit of a 5-5-5 word carries nothing
    return values


def image_of(kind, width=37, height=23, seed=0):
    """An owned image of `kind` holding random pixels."""
    pixels = random_pixels(kind, width, height, seed)
    if kind == "BW1":
        return kvbase.Image.from_bits(pixels)
    image = kvbase.Image(width, height, kind)
    np.asarray(image)[...] = pixels
    return image


@pytest.fixture(autouse=True)
def default_trace_mode():
    """Tests that change the process-wide trace mode get it back as they found it."""
    mode = kvbase.get_trace_mode()
    yield
    kvbase.set_trace_mode(mode)
