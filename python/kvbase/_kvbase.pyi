"""Types of the extension module kvbase._kvbase, which the package kvbase re-exports."""

import os
from typing import Optional, Sequence, Tuple, Union

import numpy
import numpy.typing

from ._error import Error as Error

_Path = Union[str, bytes, os.PathLike]
_Pair = Union[float, Tuple[float, float]]
_Colour = Tuple[int, int, int]

TRACE_SILENT: int
TRACE_ON_ERROR: int
TRACE_ON_FULL_ERROR: int

FILE_FORMAT_TIFF_BILEVEL: int
FILE_FORMAT_TIFF_GRAY: int
FILE_FORMAT_TIFF_COLOR: int
FILE_FORMAT_TIFF_BILEVEL_PACKBITS: int
FILE_FORMAT_TIFF_GRAY_PACKBITS: int
FILE_FORMAT_TIFF_COLOR_PACKBITS: int
FILE_FORMAT_BMP_BILEVEL: int
FILE_FORMAT_BMP_GRAY: int
FILE_FORMAT_BMP_COLOR: int
FILE_FORMAT_JPEG_BILEVEL: int
FILE_FORMAT_JPEG_GRAY: int
FILE_FORMAT_JPEG_COLOR: int
FILE_FORMAT_AUTO: int
FILE_FORMAT_PNG_BILEVEL: int
FILE_FORMAT_PNG_GRAY: int
FILE_FORMAT_PNG_COLOR: int
FILE_FORMAT_TIFF_GRAY_DEFLATE: int
FILE_FORMAT_TIFF_COLOR_DEFLATE: int
FILE_FORMAT_TIFF_GRAY_LZW: int
FILE_FORMAT_TIFF_COLOR_LZW: int

def get_error() -> int:
    """The calling thread's current error: 0 after every binding that succeeded."""

def get_error_text(code: Optional[int] = None) -> str:
    """The text of `code`, or of the current error."""

def set_trace_mode(mode: int) -> None:
    """Sets the process-wide trace mode; with TRACE_SILENT, kvbase.Error carries no traces."""

def get_trace_mode() -> int: ...
def get_version() -> str: ...

class GenericROI:
    """What images and ROIs share. numpy.asarray(self) is a view of the pixels, without a copy, with the
    rows' real stride (BW1 has none: use to_numpy())."""

    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def kind(self) -> str:
        """'BW1', 'BW8', 'BW16', 'BW32', 'C15', 'C16', 'C24' or 'C24A'."""
    @property
    def row_pitch(self) -> int:
        """Bytes from one row start to the next (the root image's rows)."""
    title: Optional[str]
    author: Optional[str]
    date: Optional[str]
    """Setting '' stores the present local time."""
    comment: Optional[str]
    def get_image_ptr(self, x: int = 0, y: int = 0) -> int:
        """The address of pixel (x, y); for BW1 the byte that holds it."""
    def roi(self, x: int, y: int, width: int, height: int) -> "ROI":
        """An ROI placed in this image or ROI, clipped to it; it keeps its parent alive."""
    def set_rectangle_mask(self, x: int, y: int, width: int, height: int) -> None: ...
    def set_ellipse_mask(self, x: int = 0, y: int = 0, width: int = 0, height: int = 0) -> None: ...
    def set_ring_mask(self, ratio: float) -> None: ...
    def reset_mask(self) -> None: ...
    def mask_runs(self) -> list[Tuple[int, int, int]]:
        """(x, y, length) of each run, in this ROI's coordinates."""
    def mask_array(self) -> numpy.ndarray:
        """The mask as a bool (height, width) array."""
    def get_resolution(self) -> Tuple[float, float, str]:
        """(x, y, unit): pixels per unit length."""
    def set_resolution(self, x: float, y: float, unit: str = "none") -> None:
        """unit: none, um, mm, cm, dm, m, dam, hm, km, mil, inch, foot, yard or mile."""
    def get_pixel_dimensions(self) -> Tuple[float, float, str]: ...
    def set_pixel_dimensions(self, width: float, height: float, unit: str = "none") -> None: ...
    def to_numpy(self) -> numpy.ndarray:
        """A copy of the pixels; a bool (h, w) array for BW1."""
    def save(self, path: _Path, format: Optional[int] = None) -> None:
        """Saves with a FILE_FORMAT_ code; None chooses by the extension (.bmp, .tif, .jpg, .png)."""
    def resized(self, width: int, height: int) -> "Image":
        """A new image of this size holding the nearest-neighbour resized pixels."""
    def _repr_png_(self) -> Optional[bytes]: ...
    def __array__(self, dtype: Optional[numpy.typing.DTypeLike] = None, copy: Optional[bool] = None) -> numpy.ndarray: ...
    def __buffer__(self, flags: int) -> memoryview: ...

class Image(GenericROI):
    """An image that owns its pixels, or borrows a NumPy array's."""

    def __init__(self, width: int, height: int, kind: str = "BW8") -> None:
        """A new image, its pixels zero."""
    @staticmethod
    def from_numpy(array: numpy.ndarray, kind: Optional[str] = None) -> "Image":
        """An image on the array's memory, without a copy; it keeps the array alive. Each row must be
        contiguous (a pixel's channels too, even in one column), rows in increasing memory order and a
        whole number of samples apart. The kind comes from dtype and shape, or from kind= (C15, C16 for
        uint16)."""
    @staticmethod
    def from_bits(bits: numpy.typing.ArrayLike) -> "Image":
        """A BW1 image holding a copy of a bool (h, w) array (bits cannot be lent)."""
    @property
    def format(self) -> Optional[int]:
        """The format code of the file the image was loaded from."""

class ROI(GenericROI):
    """A window onto an image's pixels; it keeps its root image alive. Setting the placement clips it to
    the parent."""

    x: int
    y: int
    width: int  # type: ignore[assignment]
    height: int  # type: ignore[assignment]

class MemoryDC:
    """A memory device context with a zero-filled bitmap of 1, 8, 16, 24 or 32 bits per pixel."""

    def __init__(self, width: int, height: int, bits: int = 32) -> None: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def bits(self) -> int: ...
    def draw(
        self,
        source: GenericROI,
        x: int = 0,
        y: int = 0,
        zoom: _Pair = 1.0,
        lut: Optional[numpy.typing.ArrayLike] = None,
    ) -> None:
        """Draws an image or ROI at (x, y); BW8 through a lookup table of 256 gray levels, or of 256
        (blue, green, red) rows."""
    def draw_frame(
        self,
        roi: GenericROI,
        x: int = 0,
        y: int = 0,
        position: str = "on-border",
        handles: bool = True,
        zoom: _Pair = 1.0,
        pan: Tuple[float, float] = (0.0, 0.0),
        color: _Colour = (255, 0, 0),
    ) -> None:
        """position: 'on-border', 'inside' or 'outside'."""
    def draw_mask(
        self,
        roi: GenericROI,
        x: int = 0,
        y: int = 0,
        zoom: _Pair = 1.0,
        pan: Tuple[float, float] = (0.0, 0.0),
        color: _Colour = (0, 255, 0),
    ) -> None: ...
    def pixels(self) -> numpy.ndarray:
        """A copy: (h, w, 4) uint8 at 32 bits, (h, w, 3) at 24, (h, w) uint16 at 16, uint8 at 8, bool at 1."""

def load(path: _Path, kind: Optional[str] = None) -> Image:
    """Loads an image file; without kind, the first of BW1, BW8, BW16, C24, C16, C15 that takes it."""

def resize(source: GenericROI, destination: GenericROI) -> None:
    """Nearest-neighbour scaling into the destination (same kind: BW8, BW16, C15, C16, C24, C24A)."""

def render_relief(
    heights: GenericROI,
    destination: GenericROI,
    *,
    tilt: float = 30.0,
    turn: float = 30.0,
    scale_x: float = 1.0,
    scale_y: float = 1.0,
    scale_z: float = 1.0,
    dot_mode: int = 1,
    colors: Optional[GenericROI] = None,
) -> None:
    """The BW8 heights as a landscape; angles in degrees; dot_mode 1, 4, 5 or 9."""

def render_color_histogram(
    source: GenericROI,
    destination: GenericROI,
    *,
    tilt: float = 30.0,
    turn: float = 30.0,
    scale_x: float = 1.0,
    scale_y: float = 1.0,
    scale_z: float = 1.0,
    coordinates: Optional[GenericROI] = None,
) -> None:
    """The colours of a C24 source as points of the colour cube; angles in degrees."""

def set_jpeg_quality(value: int) -> None: ...
def set_tiff_threshold(value: int) -> None: ...
def set_tiff_strip_size(value: int) -> None: ...
def set_png_compression_level(value: int) -> None: ...
def _arm_trace_rendezvous(parties: int, timeout: float) -> None: ...
def _trace_rendezvous_met() -> bool: ...
