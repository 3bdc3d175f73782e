"""kvbase: the machine-vision base library, from Python.

Images are NumPy arrays without copies, both ways:

    import numpy, kvbase
    image = kvbase.load("part.bmp")            # kind chosen from the file, as kvtool chooses it
    pixels = numpy.asarray(image)              # a view of the image's own rows
    lent = kvbase.Image.from_numpy(pixels)     # an image on an array's memory
    roi = image.roi(40, 30, 120, 80)
    roi.set_ellipse_mask()
    image.resized(320, 240).save("small.tif")

    kind    dtype    shape
    BW8     uint8    (h, w)
    BW16    uint16   (h, w)       also C15 and C16 (16-bit colour words), chosen with kind=
    BW32    uint32   (h, w)
    C24     uint8    (h, w, 3)    blue, green, red in memory order, as OpenCV
    C24A    uint8    (h, w, 4)
    BW1     bool     (h, w)       to_numpy() copies only: its pixels are bits

Every failure of the library raises kvbase.Error with its code, its text and the names the call traced.
Bad arguments raise TypeError (an argument of the wrong type, or an image of a kind the operation does not
take) or ValueError (a kind name that does not exist, an array of the wrong shape, a size out of range)
before the library is called.

Loads, saves, resizing, the renderers and drawing release the interpreter lock. As in the C++ library, an
image with its ROIs, and a MemoryDC, are used by one thread at a time; the module makes the calls that
release the lock wait for each other on one image, and distinct images go in parallel.
"""

from ._error import Error
from ._kvbase import *  # noqa: F401,F403
from ._kvbase import GenericROI, Image

__version__ = get_version()  # noqa: F405

# The kinds that PNG files hold; a save to a .png name chooses the format code.
_PNG_KINDS = {"BW1", "BW8", "BW16", "C24"}


def _repr_png_(self):
    """The pixels as PNG bytes, for Jupyter and IPython; None for a kind that PNG files do not hold."""
    import os
    import tempfile

    if self.kind not in _PNG_KINDS:
        return None
    handle, path = tempfile.mkstemp(suffix=".png")
    os.close(handle)
    try:
        self.save(path)
        with open(path, "rb") as file:
            return file.read()
    finally:
        os.unlink(path)


GenericROI._repr_png_ = _repr_png_
del _repr_png_
