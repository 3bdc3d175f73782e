"""Pixels as NumPy arrays: views without copies, lent arrays, copies, and how long memory lives."""

import ctypes
import gc
import hashlib
import pickle
import weakref

import numpy as np
import pytest
from conftest import VIEW_KINDS, image_of, random_pixels

import kvbase


@pytest.mark.parametrize("kind", sorted(VIEW_KINDS))
def test_view_is_the_images_own_memory(kind):
    image = image_of(kind, 13, 7)  # odd widths: rows padded to 32 bits for most kinds
    view = np.asarray(image)
    dtype, channels = VIEW_KINDS[kind]
    assert view.dtype == dtype and view.shape == (7, 13) + channels
    assert view.ctypes.data == image.get_image_ptr(0, 0)
    assert view.strides[0] == image.row_pitch
    assert view.ctypes.data + 6 * view.strides[0] == image.get_image_ptr(0, 6)

    view[3, 4] = 5  # written through the view, read back through a second view and a copy
    assert np.all(np.asarray(image)[3, 4] == 5) and np.all(image.to_numpy()[3, 4] == 5)
    copy = image.to_numpy()
    copy[0, 0] = 9
    assert not np.all(view[0, 0] == 9)


def test_roi_view_is_a_strided_window_onto_its_root():
    image = image_of("C24", 40, 30)
    outer = image.roi(5, 4, 30, 20)
    inner = outer.roi(3, 2, 10, 6)
    whole = np.asarray(image)
    np.testing.assert_array_equal(np.asarray(inner), whole[6:12, 8:18])
    assert np.asarray(inner).ctypes.data == image.get_image_ptr(8, 6)
    expected = whole.copy()
    expected[6:12, 8:18] = 7
    np.asarray(inner)[...] = 7
    np.testing.assert_array_equal(whole, expected)


def test_roi_placement_is_clipped_and_the_view_follows_it():
    image = kvbase.Image(50, 40)
    roi = image.roi(-10, 30, 30, 30)  # left part cut off, height clipped to the image
    assert (roi.x, roi.y, roi.width, roi.height) == (0, 30, 20, 10)
    roi.x = 45
    assert (roi.x, roi.width) == (45, 5) and np.asarray(roi).shape == (10, 5)
    with pytest.raises(kvbase.Error) as failure:
        roi.y = 60  # nothing would remain
    assert failure.value.code == 1414 and failure.value.traces == ["KROI::SetHeight"]


@pytest.mark.parametrize(
    "dtype, shape, kind, expected",
    [
        (np.uint8, (6, 9), None, "BW8"),
        (np.uint16, (6, 9), None, "BW16"),
        (np.uint16, (6, 9), "C15", "C15"),
        (np.uint16, (6, 9), "C16", "C16"),
        (np.uint32, (6, 9), None, "BW32"),
        (np.uint8, (6, 9, 3), None, "C24"),
        (np.uint8, (6, 9, 4), None, "C24A"),
    ],
)
def test_from_numpy_lends_the_array(dtype, shape, kind, expected):
    array = np.zeros(shape, dtype)
    image = kvbase.Image.from_numpy(array, kind=kind)
    assert image.kind == expected and (image.width, image.height) == (9, 6)
    assert image.get_image_ptr() == array.ctypes.data
    array[2, 3] = 1
    assert np.all(image.to_numpy()[2, 3] == 1)
    np.asarray(image)[4, 5] = 2
    assert np.all(array[4, 5] == 2)


def test_from_numpy_takes_any_row_pitch_and_resizes_through_it():
    big = random_pixels("BW8", 64, 40)
    window = big[5:25, 10:40]  # rows 64 bytes apart, not packed
    lent = kvbase.Image.from_numpy(window)
    assert lent.row_pitch == 64
    np.testing.assert_array_equal(lent.resized(30, 20).to_numpy(), window)
    small = kvbase.Image(15, 10)
    kvbase.resize(lent, small)
    np.testing.assert_array_equal(np.asarray(small), window[::2, ::2])


def test_lifetimes():
    # A view outlives its image; an ROI keeps its root; a lent image keeps its array.
    image = image_of("BW16", 20, 10)
    expected = image.to_numpy()
    view = np.asarray(image)
    del image
    gc.collect()
    np.testing.assert_array_equal(view, expected)

    roi = kvbase.Image(30, 20).roi(2, 2, 8, 8)
    gc.collect()
    np.asarray(roi)[...] = 3
    assert roi.resized(4, 4).to_numpy().tolist() == [[3] * 4] * 4

    array = np.arange(24, dtype=np.uint8).reshape(4, 6)
    watch = weakref.ref(array)
    lent = kvbase.Image.from_numpy(array)
    del array
    gc.collect()
    assert watch() is not None
    assert lent.to_numpy()[3, 5] == 23
    del lent
    gc.collect()
    assert watch() is None


def test_bw1_pixels_are_bits_copied_both_ways():
    bits = random_pixels("BW1", 21, 9)
    image = kvbase.Image.from_bits(bits)
    np.testing.assert_array_equal(image.to_numpy(), bits)
    np.testing.assert_array_equal(image.roi(3, 2, 11, 5).to_numpy(), bits[2:7, 3:14])  # rows start mid-byte
    with pytest.raises(TypeError):
        np.asarray(image)
    with pytest.raises(BufferError):
        memoryview(image.roi(0, 0, 5, 5))


def test_buffer_requests_that_padded_rows_cannot_meet_are_refused():
    padded = kvbase.Image(5, 4)  # rows of 8 bytes for 5 pixels
    np.asarray(padded)[...] = 1
    assert memoryview(padded).strides == (8, 1)
    assert bytes(padded) == b"\x01" * 20  # copied from the strided view, padding left out
    with pytest.raises(BufferError):
        hashlib.sha1(padded)  # asks for one contiguous block
    packed = kvbase.Image(8, 4)
    np.asarray(packed)[...] = 1
    assert hashlib.sha1(packed).digest() == hashlib.sha1(b"\x01" * 32).digest()


class PyBuffer(ctypes.Structure):
    _fields_ = [("buf", ctypes.c_void_p), ("obj", ctypes.c_void_p), ("len", ctypes.c_ssize_t),
                ("itemsize", ctypes.c_ssize_t), ("readonly", ctypes.c_int), ("ndim", ctypes.c_int),
                ("format", ctypes.c_char_p), ("shape", ctypes.POINTER(ctypes.c_ssize_t)),
                ("strides", ctypes.POINTER(ctypes.c_ssize_t)), ("suboffsets", ctypes.POINTER(ctypes.c_ssize_t)),
                ("internal", ctypes.c_void_p)]


GET_BUFFER = ctypes.pythonapi.PyObject_GetBuffer
GET_BUFFER.argtypes = [ctypes.py_object, ctypes.POINTER(PyBuffer), ctypes.c_int]
RELEASE_BUFFER = ctypes.pythonapi.PyBuffer_Release
RELEASE_BUFFER.argtypes = [ctypes.POINTER(PyBuffer)]
# The request flags of the buffer protocol, with what each needs of the pixels' layout.
PyBUF_WRITABLE, PyBUF_FORMAT, PyBUF_ND, PyBUF_STRIDES = 0x1, 0x4, 0x8, 0x18
REQUESTS = {
    "simple": (0, lambda c, f: c),
    "nd": (PyBUF_ND, lambda c, f: c),
    "strides": (PyBUF_STRIDES, lambda c, f: True),
    "c-contiguous": (0x20 | PyBUF_STRIDES, lambda c, f: c),
    "f-contiguous": (0x40 | PyBUF_STRIDES, lambda c, f: f),
    "any-contiguous": (0x80 | PyBUF_STRIDES, lambda c, f: c or f),
}
LAYOUTS = {
    "packed": lambda: image_of("BW8", 8, 4),
    "padded": lambda: image_of("BW8", 5, 4),
    "one column": lambda: image_of("BW8", 1, 5),
    "one C24 column": lambda: image_of("C24", 9, 6).roi(4, 1, 1, 3),
    "one row": lambda: image_of("BW16", 7, 1),
    "one row of an ROI": lambda: image_of("C24A", 9, 6).roi(2, 3, 5, 1),
    "one pixel": lambda: image_of("C24", 1, 1),
    "empty": lambda: kvbase.Image(0, 0),
    "no columns": lambda: kvbase.Image(0, 4, "BW32"),
}


@pytest.mark.parametrize("request_name", sorted(REQUESTS))
@pytest.mark.parametrize("layout", sorted(LAYOUTS))
def test_buffer_requests_are_granted_exactly_when_the_layout_meets_them(layout, request_name):
    image = LAYOUTS[layout]()
    view = np.asarray(image)  # NumPy judges the contiguity of the strided view on its own
    flags, needs = REQUESTS[request_name]
    buffer = PyBuffer()
    if not needs(view.flags.c_contiguous, view.flags.f_contiguous):
        with pytest.raises(BufferError):
            GET_BUFFER(image, ctypes.byref(buffer), flags | PyBUF_WRITABLE | PyBUF_FORMAT)
        return
    GET_BUFFER(image, ctypes.byref(buffer), flags | PyBUF_WRITABLE | PyBUF_FORMAT)
    try:
        assert (buffer.len, buffer.itemsize, buffer.readonly) == (view.nbytes, view.itemsize, 0)
        assert buffer.len == 0 or buffer.buf == view.ctypes.data
        if flags & PyBUF_ND:
            assert tuple(buffer.shape[i] for i in range(buffer.ndim)) == view.shape
        if buffer.strides:
            assert tuple(buffer.strides[i] for i in range(buffer.ndim)) == view.strides
        else:  # a consumer without strides reads one block in row order
            assert ctypes.string_at(buffer.buf, buffer.len) == view.tobytes(order="C")
        if request_name == "f-contiguous":
            assert ctypes.string_at(buffer.buf, buffer.len) == view.tobytes(order="F")
    finally:
        RELEASE_BUFFER(ctypes.byref(buffer))


@pytest.mark.parametrize(
    "make, error",
    [
        (lambda: np.zeros((4, 4), np.float32), TypeError),
        (lambda: np.zeros((4, 4), bool), TypeError),
        (lambda: np.zeros((4, 4), ">u2"), TypeError),
        (lambda: np.zeros((4, 4, 2), np.uint8), ValueError),
        (lambda: np.zeros((4,), np.uint8), ValueError),
        (lambda: np.zeros((4, 8), np.uint8)[:, ::2], ValueError),  # pixels not contiguous
        (lambda: np.zeros((4, 8), np.uint8)[::-1], ValueError),  # rows backwards
        (lambda: np.zeros((4, 8, 3), np.uint8)[:, :, ::-1], ValueError),
        (lambda: np.frombuffer(bytes(16), np.uint8).reshape(4, 4), ValueError),  # read-only
        (lambda: np.frombuffer(bytearray(33), np.uint16, 16, 1).reshape(4, 4), ValueError),  # misaligned
        (lambda: [[1, 2], [3, 4]], TypeError),
        # One column of colour pixels: their channels must still be packed.
        (lambda: strided(np.zeros(12, np.uint8), (4, 1, 3), (3, 3, 0)), ValueError),
        (lambda: np.zeros((4, 1, 6), np.uint8)[:, :, ::2], ValueError),
        (lambda: np.zeros((4, 1, 3), np.uint8)[:, :, ::-1], ValueError),
        (lambda: np.zeros((1, 1, 8), np.uint8)[:, :, ::2], ValueError),
        # Rows that overlap or run backwards, pixels that share memory.
        (lambda: strided(np.zeros(8, np.uint8), (4, 8), (0, 1)), ValueError),
        (lambda: strided(np.zeros(8, np.uint8), (4, 8), (1, 1)), ValueError),
        (lambda: strided(np.zeros(32, np.uint8), (4, 8), (8, 0)), ValueError),
        (lambda: np.zeros((4, 8, 3), np.uint8)[:, ::-1], ValueError),
        # Rows of 16- and 32-bit pixels that would start off their alignment.
        (lambda: rows_apart(np.uint16, 9), ValueError),
        (lambda: rows_apart(np.uint32, 18), ValueError),
    ],
)
def test_from_numpy_refuses_arrays_it_cannot_lend(make, error):
    with pytest.raises(error):
        kvbase.Image.from_numpy(make())


def strided(base, shape, strides):
    return np.lib.stride_tricks.as_strided(base, shape, strides, writeable=True)


def rows_apart(dtype, pitch):
    """A (4, 4) array of `dtype` whose rows start `pitch` bytes apart in one aligned block."""
    block = np.zeros(64, np.uint64).view(np.uint8)
    return np.ndarray((4, 4), dtype, buffer=block, strides=(pitch, np.dtype(dtype).itemsize))


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.arange(60, dtype=np.uint8).reshape(5, 4, 3)[:, 1:2],  # one colour column, rows 12 apart
        lambda: np.arange(72, dtype=np.uint8).reshape(3, 6, 4)[1:2, 1:4],
        lambda: np.arange(24, dtype=np.uint8).reshape(4, 6)[::-1][2:3],  # one row: its stride is not used
        lambda: rows_apart(np.uint16, 10),
        lambda: rows_apart(np.uint32, 20),
        lambda: np.arange(35, dtype=np.uint16).reshape(5, 7)[1:, 2:5],
        lambda: np.zeros((0, 5, 3), np.uint8),
        lambda: np.zeros((3, 0), np.uint16),
    ],
)
def test_from_numpy_lends_every_layout_it_can_address(make):
    array = make()
    image = kvbase.Image.from_numpy(array)
    np.testing.assert_array_equal(image.to_numpy(), array)
    np.testing.assert_array_equal(pickle.loads(pickle.dumps(image)).to_numpy(), array)  # rows read by the library
    if array.size:
        np.asarray(image)[-1, -1] = 7
        assert np.all(array[-1, -1] == 7)


def test_from_numpy_refuses_a_kind_the_array_does_not_show():
    with pytest.raises(ValueError):
        kvbase.Image.from_numpy(np.zeros((4, 4), np.uint8), kind="BW16")
    with pytest.raises(ValueError):
        kvbase.Image.from_numpy(np.zeros((4, 4), np.uint8), kind="BW1")
    with pytest.raises(ValueError):
        kvbase.Image.from_numpy(np.zeros((4, 4), np.uint8), kind="BW9")


def test_masks_as_runs_and_arrays():
    roi = kvbase.Image(20, 20, "BW16").roi(0, 0, 7, 3)
    roi.set_ellipse_mask()
    assert roi.mask_runs() == [(2, 0, 3), (0, 1, 7), (2, 2, 3)]
    roi.set_rectangle_mask(-2, 1, 5, 9)
    assert roi.mask_runs() == [(0, 1, 3), (0, 2, 3)]
    assert roi.mask_array().tolist() == [[False] * 7, [True] * 3 + [False] * 4, [True] * 3 + [False] * 4]
    ring = kvbase.Image(20, 20).roi(0, 0, 20, 20)
    ring.set_ring_mask(0.5)
    row9 = [(x, length) for x, y, length in ring.mask_runs() if y == 9]
    assert row9 == [(0, 5), (15, 5)]
    ring.reset_mask()
    assert ring.mask_runs() == [] and not ring.mask_array().any()
