#include "pixel_kinds.h"

#include <pybind11/numpy.h>

namespace kvpy {

namespace {

constexpr const KPixelKind* kModuleKinds[] = {&K_PIXEL_KIND_BW1,  &K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16,
                                              &K_PIXEL_KIND_BW32, &K_PIXEL_KIND_C15, &K_PIXEL_KIND_C16,
                                              &K_PIXEL_KIND_C24,  &K_PIXEL_KIND_C24A};

// Unsigned integers of `size` bytes in the machine's own byte order.
bool IsNativeUnsigned(const py::dtype& dtype, int size) {
  return dtype.kind() == 'u' && dtype.itemsize() == size && dtype.attr("isnative").cast<bool>();
}

}  // namespace

const KPixelKind& KindNamed(const std::string& name) {
  for (const KPixelKind* kind : kModuleKinds)
    if (name == kind->name) return *kind;
  throw py::value_error("unknown pixel kind '" + name + "': use BW1, BW8, BW16, BW32, C15, C16, C24 or C24A");
}

const KPixelKind& KindOf(const py::handle& name) {
  if (!py::isinstance<py::str>(name)) throw py::type_error("a pixel kind is a str such as 'BW8'");
  return KindNamed(name.cast<std::string>());
}

ArrayLayout LayoutOf(const KPixelKind& kind) {
  switch (kind.type) {
    case K_IMAGE_BW8: return {"B", 1, 1};
    case K_IMAGE_BW16:
    case K_IMAGE_C15:
    case K_IMAGE_C16: return {"H", 2, 1};
    case K_IMAGE_BW32: return {"I", 4, 1};
    case K_IMAGE_C24: return {"B", 1, 3};
    case K_IMAGE_C24A: return {"B", 1, 4};
    default: return {nullptr, 0, 0};
  }
}

bool ArrayShowsKind(const KPixelKind& kind, const py::dtype& dtype, int ndim, py::ssize_t lastDimension) {
  const ArrayLayout layout = LayoutOf(kind);
  if (layout.format == nullptr || !IsNativeUnsigned(dtype, layout.sampleSize)) return false;
  return layout.channels == 1 ? ndim == 2 : ndim == 3 && lastDimension == layout.channels;
}

const KPixelKind* KindOfArray(const py::dtype& dtype, int ndim, py::ssize_t lastDimension) {
  // C15 and C16 look like BW16: they are chosen with kind= only.
  for (const KPixelKind* kind :
       {&K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16, &K_PIXEL_KIND_BW32, &K_PIXEL_KIND_C24, &K_PIXEL_KIND_C24A})
    if (ArrayShowsKind(*kind, dtype, ndim, lastDimension)) return kind;
  return nullptr;
}

}  // namespace kvpy
