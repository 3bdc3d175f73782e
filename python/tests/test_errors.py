"""Failures: kvbase.Error with the library's code, text and traces; bad arguments as Python's own errors."""

import pickle
from types import SimpleNamespace

import numpy as np
import pytest

import kvbase


def failing_draw():
    """A draw the library refuses: a lookup table of 255 entries."""
    kvbase.MemoryDC(8, 8).draw(kvbase.Image(4, 4).roi(0, 0, 2, 2), lut=range(255))


def test_error_carries_code_text_and_traces_in_order():
    with pytest.raises(kvbase.Error) as failure:
        failing_draw()
    error = failure.value
    assert error.code == 1613 and kvbase.get_error() == 1613
    assert error.text == kvbase.get_error_text(1613) == "Invalid number of vector elements - Check proper vector initialization"
    assert error.traces == ["KDrawImageInWindow (BW8 ROI)", "KROIBW8::Draw (Gray Scale)"]
    assert "1613" in str(error) and isinstance(error, Exception)


def test_no_error_pending_after_a_success():
    with pytest.raises(kvbase.Error):
        failing_draw()
    assert kvbase.get_error() == 1613
    kvbase.Image(3, 3).resized(2, 2)
    assert kvbase.get_error() == 0
    with pytest.raises(kvbase.Error) as second:  # traces of one call only, not of the calls before
        kvbase.Image(3, 3, "BW32").save("unused.tif")
    assert second.value.traces == ["KImage::Save"]


def test_silent_trace_mode_keeps_code_and_text():
    kvbase.set_trace_mode(kvbase.TRACE_SILENT)
    with pytest.raises(kvbase.Error) as failure:
        failing_draw()
    assert failure.value.code == 1613 and failure.value.traces == []


def test_boxes_go_to_traces_not_to_standard_error(capfd):
    with pytest.raises(kvbase.Error):
        kvbase.load("no/such/file.bmp", kind="C24")
    captured = capfd.readouterr()
    assert captured.err == "" and captured.out == ""


def test_error_travels_through_pickle():
    with pytest.raises(kvbase.Error) as failure:
        failing_draw()
    copy = pickle.loads(pickle.dumps(failure.value))
    assert type(copy) is kvbase.Error
    assert (copy.code, copy.text, copy.traces) == (failure.value.code, failure.value.text, failure.value.traces)


@pytest.fixture
def made():
    """Objects made before the test's failing call, so that making them clears nothing afterwards."""
    return SimpleNamespace(
        bw8=kvbase.Image(4, 4), c24=kvbase.Image(4, 4, "C24"), bw32=kvbase.Image(4, 4, "BW32"),
        bw1=kvbase.Image(4, 4, "BW1"), dc=kvbase.MemoryDC(4, 4))


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda t: kvbase.Image(4, 4, "BW9"), ValueError),
        (lambda t: kvbase.Image(4, 4, 8), TypeError),
        (lambda t: kvbase.Image(-1, 4), ValueError),
        (lambda t: kvbase.Image("4", 4), TypeError),
        (lambda t: kvbase.load(42), TypeError),
        (lambda t: kvbase.load("x.bmp", kind="SubPixel64"), ValueError),
        (lambda t: t.bw8.save("x.bmp", format=70000), ValueError),
        (lambda t: t.bw8.save("x.bmp", format="bmp"), TypeError),
        (lambda t: kvbase.resize(t.bw8, t.c24), TypeError),
        (lambda t: kvbase.resize(t.bw32, t.bw32), TypeError),
        (lambda t: kvbase.resize(np.zeros((4, 4), np.uint8), t.bw8), TypeError),
        (lambda t: t.bw1.resized(2, 2), TypeError),
        (lambda t: t.bw8.resized(-2, 2), ValueError),
        (lambda t: kvbase.render_relief(t.c24, t.bw8), TypeError),
        (lambda t: kvbase.render_relief(t.bw8, t.bw8, tilt="high"), TypeError),
        (lambda t: kvbase.render_relief(t.bw8, t.bw8, colors=t.bw8), TypeError),
        (lambda t: kvbase.render_color_histogram(t.bw8, t.c24), TypeError),
        (lambda t: kvbase.MemoryDC(0, 4), ValueError),
        (lambda t: kvbase.MemoryDC(4, 4, bits=12), ValueError),
        (lambda t: t.dc.draw(t.bw8, zoom="big"), TypeError),
        (lambda t: t.dc.draw(t.bw8, zoom=None), TypeError),
        (lambda t: t.dc.draw_mask(t.bw8, pan=(1, 2, 3)), TypeError),
        (lambda t: t.dc.draw(t.bw8, lut=[0.5] * 256), TypeError),
        (lambda t: t.dc.draw(t.bw8, lut=[300] * 256), ValueError),
        (lambda t: t.dc.draw_frame(t.bw8, position="around"), ValueError),
        (lambda t: t.dc.draw_mask(t.bw8, color=(0, 0, 256)), ValueError),
        (lambda t: t.bw8.set_resolution(1, 1, "parsec"), ValueError),
        (lambda t: setattr(t.bw8, "title", b"bytes"), TypeError),
        (lambda t: setattr(t.bw8, "title", "a\0b"), ValueError),
        (lambda t: t.bw8.get_image_ptr(4, 0), ValueError),
        (lambda t: kvbase.set_jpeg_quality(-1), ValueError),
        (lambda t: kvbase.set_trace_mode(7), ValueError),
    ],
)
def test_bad_arguments_raise_before_the_library_is_called(made, call, error):
    with pytest.raises(kvbase.Error):
        failing_draw()
    with pytest.raises(error):
        call(made)
    assert kvbase.get_error() == 1613  # no binding got as far as clearing the current error
