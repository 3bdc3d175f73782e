#ifndef KVBASE_PYTHON_PIXEL_KINDS_H
#define KVBASE_PYTHON_PIXEL_KINDS_H

// The eight pixel kinds of the Python module ("BW1", "BW8", "BW16", "BW32", "C15", "C16", "C24", "C24A"),
// the NumPy arrays that show their pixels, and a visitor that turns a kind into its pixel type.
//
//   kind    dtype    shape
//   BW8     uint8    (h, w)
//   BW16    uint16   (h, w)       also C15 and C16, whose pixels are 16-bit colour words
//   BW32    uint32   (h, w)
//   C24     uint8    (h, w, 3)    blue, green, red in memory order
//   C24A    uint8    (h, w, 4)
//   BW1     bool     (h, w)       copies only: its pixels are bits

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "kvbase/pixels/pixel_types.h"

namespace kvpy {

namespace py = pybind11;

// What a NumPy view of a kind's pixels is made of.
struct ArrayLayout {
  const char* format;  // buffer-protocol format of one sample: "B", "H" or "I"
  int sampleSize;      // bytes per sample
  int channels;        // 1: an (h, w) array; 3 or 4: (h, w, channels)
};

// The kind named `name`, or ValueError for a name that is not one of the eight.
const KPixelKind& KindNamed(const std::string& name);
// The kind of a Python argument: a str naming a kind (TypeError for anything else).
const KPixelKind& KindOf(const py::handle& name);

// The view layout of `kind`; BW1, which has no byte view, gives a layout of format null.
ArrayLayout LayoutOf(const KPixelKind& kind);

// The kind an array of this dtype and shape shows without `kind=`, or null when no kind has that look.
const KPixelKind* KindOfArray(const py::dtype& dtype, int ndim, py::ssize_t lastDimension);
// Whether arrays of `dtype` and `ndim` dimensions, the last one `lastDimension` long, show `kind`.
bool ArrayShowsKind(const KPixelKind& kind, const py::dtype& dtype, int ndim, py::ssize_t lastDimension);

// Calls f(T{}) with a value of the pixel type of `kind`.
template <typename F>
decltype(auto) VisitKind(const KPixelKind& kind, F&& f) {
  switch (kind.type) {
    case K_IMAGE_BW1: return f(int{});
    case K_IMAGE_BW8: return f(static_cast<unsigned char>(0));
    case K_IMAGE_BW16: return f(static_cast<unsigned short>(0));
    case K_IMAGE_BW32: return f(0u);
    case K_IMAGE_C15: return f(KC15{});
    case K_IMAGE_C16: return f(KC16{});
    case K_IMAGE_C24: return f(KC24{});
    default: return f(KC24A{});
  }
}

// Unpacks `width` bits of a BW1 row, high bit first, from bit `first` of `row` on: one 0 or 1 a byte.
inline void UnpackBitRow(const unsigned char* row, unsigned int first, int width, unsigned char* out) {
  for (int x = 0; x < width; ++x) {
    const unsigned int bit = first + static_cast<unsigned int>(x);
    out[x] = (row[bit >> 3] & (0x80u >> (bit & 7u))) != 0 ? 1 : 0;
  }
}

}  // namespace kvpy

#endif  // KVBASE_PYTHON_PIXEL_KINDS_H
