"""The interpreter lock is released inside long calls; images travel between processes by pickle."""

import multiprocessing
import pickle
import threading

import numpy as np
import pytest
from conftest import image_of

import kvbase
from kvbase import _kvbase

# Each call fails inside the library, where its trace box meets the other thread's at a rendezvous in
# the module's trace hook. Both threads can only be there at once when neither holds the interpreter lock.
FAILING_CALLS = {
    "load": lambda i: kvbase.load(f"/nonexistent/{i}.bmp", kind="BW8"),
    "save": lambda i: kvbase.Image(4, 4, "BW16").save(f"/nonexistent/{i}.bmp"),
    "resize": lambda i: kvbase.resize(kvbase.Image(4, 4), kvbase.Image(0, 0)),
    "render_relief": lambda i: kvbase.render_relief(kvbase.Image(4, 4), kvbase.Image(9, 9), dot_mode=2),
    "render_color_histogram": lambda i: kvbase.render_color_histogram(kvbase.Image(0, 0, "C24"),
                                                                      kvbase.Image(9, 9, "C24")),
    "draw": lambda i: kvbase.MemoryDC(4, 4).draw(kvbase.Image(2, 2), lut=range(100)),
}


@pytest.mark.parametrize("operation", sorted(FAILING_CALLS))
def test_two_threads_are_inside_the_library_at_once(operation):
    call = FAILING_CALLS[operation]
    codes = []

    def run(i):
        try:
            call(i)
        except kvbase.Error as error:
            codes.append(error.code)

    _kvbase._arm_trace_rendezvous(2, 20.0)
    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(codes) == 2 and min(codes) >= 1000
    assert _kvbase._trace_rendezvous_met()


def test_threads_sharing_one_image_and_using_their_own(tmp_path):
    shared = image_of("C24", 120, 90)
    roi = shared.roi(0, 0, 60, 45)
    problems = []

    def move_and_mask():  # changes what the savers read, under the tree's lock
        for step in range(300):
            roi.x, roi.y = step % 50, step % 40
            roi.set_ellipse_mask()

    def save_and_reload(i):
        own = image_of("BW16", 50 + i, 30, seed=i)
        for round_ in range(20):
            roi.save(tmp_path / f"shared{i}.bmp")
            own.save(tmp_path / f"own{i}.tif")
            if not np.array_equal(kvbase.load(tmp_path / f"own{i}.tif").to_numpy(), own.to_numpy()):
                problems.append((i, round_))
            if kvbase.load(tmp_path / f"shared{i}.bmp").width != 60:
                problems.append((i, "shared"))

    threads = [threading.Thread(target=move_and_mask)] + [
        threading.Thread(target=save_and_reload, args=(i,)) for i in range(3)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert problems == []


def everything_of(image):
    return (image.kind, image.width, image.height, image.title, image.author, image.date, image.comment,
            image.get_pixel_dimensions(), image.get_resolution(), image.to_numpy().tolist())


@pytest.mark.parametrize("kind", ["BW1", "BW8", "BW16", "BW32", "C15", "C16", "C24", "C24A"])
def test_pickle_keeps_kind_size_texts_resolution_and_pixels(kind):
    image = image_of(kind, 13, 5)
    image.title, image.author, image.comment = "Title", "Ünïcode author", "a comment"
    image.date = "2024:01:02 03:04:05"
    image.set_pixel_dimensions(0.25, 0.5, "mm")
    copy = pickle.loads(pickle.dumps(image))
    assert type(copy) is kvbase.Image
    assert everything_of(copy) == everything_of(image)
    assert copy.get_image_ptr() != image.get_image_ptr()
    plain = pickle.loads(pickle.dumps(kvbase.Image(3, 2)))
    assert (plain.title, plain.get_resolution()) == (None, (1.0, 1.0, "none"))


def halve(image):
    return image.resized(image.width // 2, image.height // 2)


def test_images_travel_to_worker_processes_and_back():
    images = [image_of("C24", 40 + i, 20, seed=i) for i in range(4)]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        halves = pool.map(halve, images)
    for image, half in zip(images, halves):
        np.testing.assert_array_equal(half.to_numpy(), halve(image).to_numpy())
