// Pixels as NumPy arrays: views without copies through the buffer protocol, copies (the only way for
// BW1, whose pixels are bits), images that borrow an array's memory, and pickling.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "image_nodes.h"
#include "images.h"
#include "library_call.h"

namespace kvpy {

namespace {

using namespace pybind11::literals;

// --- The buffer protocol. pybind11's own getbuffer cannot refuse a request (a BW1 image, a contiguous
// view of padded rows), so the module fills Py_buffer itself.

struct ViewShape {
  py::ssize_t shape[3];
  py::ssize_t strides[3];
};

// Where a view's memory starts when there is none: an empty image.
unsigned char gNoPixels = 0;

int Refuse(const char* why) {
  PyErr_SetString(PyExc_BufferError, why);
  return -1;
}

bool Requested(int flags, int request) { return (flags & request) == request; }

// Whether a view of this shape and these strides holds its items as one block, in row order (C: the last
// index varies fastest) or in column order (Fortran: the first does). Judged as NumPy and memoryview judge
// it: a dimension of one item has no stride that matters, and a view without items is both.
bool Contiguous(int ndim, const ViewShape& view, py::ssize_t itemSize, bool rowOrder) {
  for (int i = 0; i < ndim; ++i)
    if (view.shape[i] == 0) return true;
  py::ssize_t expected = itemSize;
  for (int k = 0; k < ndim; ++k) {
    const int i = rowOrder ? ndim - 1 - k : k;
    if (view.shape[i] != 1 && view.strides[i] != expected) return false;
    expected *= view.shape[i];
  }
  return true;
}

// Where the pixels of an image or ROI lie, read at once under its tree's lock.
struct PixelPlace {
  py::ssize_t width, height, pitch;
  void* pixels;
};

PixelPlace PlaceOf(Node& node) {
  return CallLocked({&node.TreeMutex()}, [&] {
    KGenericROI& roi = *node.object;
    return PixelPlace{roi.GetWidth(), roi.GetHeight(), roi.GetRowPitch(), roi.GetGenericImagePtr(0, 0)};
  });
}

int FillPixelBuffer(PyObject* self, Py_buffer* view, int flags) {
  Node& node = NodeOf(self, "the buffer's object");
  const ArrayLayout layout = LayoutOf(*node.kind);
  if (layout.format == nullptr) return Refuse("BW1 pixels are bits and have no byte view: to_numpy() copies them");

  const auto [width, height, pitch, pixels] = PlaceOf(node);
  const py::ssize_t rowBytes = width * layout.sampleSize * layout.channels;
  const int ndim = layout.channels == 1 ? 2 : 3;
  const ViewShape place{{height, width, layout.channels},
                        {pitch, layout.sampleSize * layout.channels, layout.sampleSize}};
  const bool rowOrder = Contiguous(ndim, place, layout.sampleSize, true);
  const bool columnOrder = Contiguous(ndim, place, layout.sampleSize, false);
  // A consumer that takes no strides reads one block in row order.
  if (!rowOrder && !Requested(flags, PyBUF_STRIDES))
    return Refuse("the pixels are not one block in row order (padded rows, or an ROI): ask for a strided buffer");
  if (!rowOrder && Requested(flags, PyBUF_C_CONTIGUOUS)) return Refuse("the pixels are not one block in row order");
  if (!columnOrder && Requested(flags, PyBUF_F_CONTIGUOUS))
    return Refuse("the pixels are not one block in column order");
  if (!rowOrder && !columnOrder && Requested(flags, PyBUF_ANY_CONTIGUOUS))
    return Refuse("the pixels are not one block in either order");

  auto* shape = new ViewShape(place);
  view->buf = pixels != nullptr ? pixels : &gNoPixels;
  view->obj = self;
  Py_INCREF(self);
  view->len = rowBytes * height;
  view->readonly = 0;
  view->itemsize = layout.sampleSize;
  view->format = Requested(flags, PyBUF_FORMAT) ? const_cast<char*>(layout.format) : nullptr;
  view->ndim = Requested(flags, PyBUF_ND) ? (layout.channels == 1 ? 2 : 3) : 1;
  view->shape = Requested(flags, PyBUF_ND) ? shape->shape : nullptr;
  view->strides = Requested(flags, PyBUF_STRIDES) ? shape->strides : nullptr;
  view->suboffsets = nullptr;
  view->internal = shape;
  return 0;
}

// The slot itself: a C function, which lets no C++ exception out.
int GetPixelBuffer(PyObject* self, Py_buffer* view, int flags) {
  view->obj = nullptr;
  try {
    return FillPixelBuffer(self, view, flags);
  } catch (py::error_already_set& error) {
    error.restore();
  } catch (const py::builtin_exception& error) {
    error.set_error();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
  }
  if (view->obj != nullptr) Py_CLEAR(view->obj);
  return -1;
}

void ReleasePixelBuffer(PyObject*, Py_buffer* view) { delete static_cast<ViewShape*>(view->internal); }

// --- Copies.

// BW1 pixels as a bool array; rows start at any bit of the root's bytes (an ROI's column 0). They are
// unpacked under the tree's lock, into memory of the module's own; the array is made afterwards.
py::array_t<bool> UnpackBits(Node& node) {
  int width = 0, height = 0;
  std::vector<unsigned char> cells;
  CallLocked({&node.TreeMutex()}, [&] {
    KGenericROI& roi = *node.object;
    width = roi.GetWidth();
    height = roi.GetHeight();
    cells.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
      const auto* row = static_cast<const unsigned char*>(roi.GetGenericImagePtr(0, y));
      UnpackBitRow(row, roi.GetBitIndex(0, y), width,
                   cells.data() + static_cast<size_t>(y) * static_cast<size_t>(width));
    }
  });
  py::array_t<bool> bits({height, width});
  if (!cells.empty()) std::memcpy(bits.mutable_data(), cells.data(), cells.size());
  return bits;
}

// The pixels of any other kind in an array of the module's own, with the dtype and shape of a view. The
// array is made with the GIL held and filled under the tree's lock, so no other call changes the pixels
// halfway through the copy; if the placement changed in between, it is made again.
py::array CopyPixels(Node& node) {
  const ArrayLayout layout = LayoutOf(*node.kind);
  const py::dtype dtype(layout.format);
  for (;;) {
    const PixelPlace place = PlaceOf(node);
    std::vector<py::ssize_t> shape = {place.height, place.width};
    if (layout.channels > 1) shape.push_back(layout.channels);
    py::array copy(dtype, shape);
    const size_t rowBytes = static_cast<size_t>(place.width) * static_cast<size_t>(layout.sampleSize * layout.channels);
    auto* out = static_cast<unsigned char*>(copy.mutable_data());
    const bool copied = CallLocked({&node.TreeMutex()}, [&] {
      KGenericROI& roi = *node.object;
      if (roi.GetWidth() != place.width || roi.GetHeight() != place.height) return false;
      for (int y = 0; y < roi.GetHeight() && rowBytes > 0; ++y)
        std::memcpy(out + static_cast<size_t>(y) * rowBytes, roi.GetGenericImagePtr(0, y), rowBytes);
      return true;
    });
    if (copied) return copy;
  }
}

py::object ToNumpy(const py::object& self) {
  Node& node = NodeOf(self, "self");
  if (node.kind->type == K_IMAGE_BW1) return UnpackBits(node);
  return CopyPixels(node);
}

// --- Borrowing an array.

const KPixelKind& KindForArray(const py::array& array, const py::object& kind) {
  const py::ssize_t last = array.ndim() > 0 ? array.shape(array.ndim() - 1) : 0;
  if (kind.is_none()) {
    if (const KPixelKind* found = KindOfArray(array.dtype(), static_cast<int>(array.ndim()), last)) return *found;
    if (array.dtype().kind() == 'b') throw py::type_error("BW1 pixels are bits: from_bits copies a bool array");
    if (array.dtype().kind() != 'u' || !array.dtype().attr("isnative").cast<bool>())
      throw py::type_error("an image borrows arrays of uint8, uint16 or uint32 in native byte order, not " +
                           py::str(array.dtype()).cast<std::string>());
    throw py::value_error("no pixel kind has this shape: use (h, w), or (h, w, 3) or (h, w, 4) of uint8");
  }
  const KPixelKind& forced = KindOf(kind);
  if (forced.type == K_IMAGE_BW1)
    throw py::value_error("BW1 pixels are bits: an image cannot borrow an array as BW1 (from_bits copies one)");
  if (!ArrayShowsKind(forced, array.dtype(), static_cast<int>(array.ndim()), last))
    throw py::value_error(std::string("this array's dtype or shape does not show ") + forced.name + " pixels");
  return forced;
}

// The row pitch in bits for SetImagePtr, or ValueError for a layout the library cannot address. It finds
// pixel x of row y at data + y * pitch + x * pixel bytes, its samples side by side, and reads them as
// 16- or 32-bit words for BW16, C15, C16 and BW32. So the samples of a pixel must be packed, even in a
// single column; the pixels of a row too when a row has two or more; rows must not run backwards or
// overlap when there are two or more; and the data address and the pitch must keep samples aligned. An
// empty array addresses nothing (NumPy gives it strides of 0): its rows are taken as packed.
int BorrowedBitsPerRow(const py::array& array, const ArrayLayout& layout) {
  const py::ssize_t height = array.shape(0), width = array.shape(1);
  const bool empty = array.size() == 0;
  const py::ssize_t pixelBytes = layout.sampleSize * layout.channels;
  const bool samplesPacked = empty || layout.channels == 1 || array.strides(2) == layout.sampleSize;
  const bool pixelsPacked = empty || width <= 1 || array.strides(1) == pixelBytes;
  const py::ssize_t rowBytes = width * pixelBytes;
  const py::ssize_t pitch = height > 1 && !empty ? array.strides(0) : rowBytes;
  if (!samplesPacked || !pixelsPacked || pitch < rowBytes)
    throw py::value_error("each row of the array must be contiguous, rows in increasing memory order");
  if (pitch > INT_MAX / 8) throw py::value_error("the array's rows are too far apart for an image");
  if (!array.writeable()) throw py::value_error("the array is read-only; an image writes to its pixels");
  if (reinterpret_cast<std::uintptr_t>(array.data()) % static_cast<std::uintptr_t>(layout.sampleSize) != 0 ||
      pitch % layout.sampleSize != 0)
    throw py::value_error("the array's rows are not aligned to its samples");
  return static_cast<int>(pitch * 8);
}

ImageObject FromNumpy(const py::array& array, const py::object& kind) {
  const KPixelKind& pixelKind = KindForArray(array, kind);
  const int bitsPerRow = BorrowedBitsPerRow(array, LayoutOf(pixelKind));
  const int width = NonNegative(array.shape(1), "the array's width");
  const int height = NonNegative(array.shape(0), "the array's height");
  void* data = const_cast<void*>(array.data());
  auto node = NewImageNode(pixelKind, MakeImage(pixelKind, 0, 0));
  node->lender = array;
  Call([&] {
    VisitKind(pixelKind,
              [&](auto pixel) { node->AsImage<decltype(pixel)>()->SetImagePtr(width, height, data, bitsPerRow); });
  });
  return ImageObject{{node}};
}

// A BW1 image holding a copy of a bool (h, w) array: bits cannot be lent.
ImageObject FromBits(const py::array_t<bool, py::array::c_style | py::array::forcecast>& bits) {
  if (bits.ndim() != 2) throw py::value_error("BW1 pixels come from a 2-D array");
  const int height = NonNegative(bits.shape(0), "the array's height");
  const int width = NonNegative(bits.shape(1), "the array's width");
  auto cells = bits.unchecked<2>();
  auto node = NewImageNode(K_PIXEL_KIND_BW1, nullptr);
  Call([&] {
    node->object = MakeImage(K_PIXEL_KIND_BW1, width, height);
    if (KFailure()) return;
    for (int y = 0; y < height; ++y) {
      auto* row = static_cast<unsigned char*>(node->object->GetGenericImagePtr(0, y));
      std::memset(row, 0, (static_cast<size_t>(width) + 7) / 8);
      for (int x = 0; x < width; ++x)
        if (cells(y, x)) row[x >> 3] |= static_cast<unsigned char>(0x80u >> (x & 7));
    }
  });
  return ImageObject{{node}};
}

// --- Pickling: kind, size, the four texts, pixel dimensions (which give the resolution) and the pixels
// as packed rows. A state is checked whole before anything is made from it: TypeError for a value of the
// wrong type, ValueError for a wrong value or a missing or unknown key; never a crash.

constexpr const char* kStateKeys[] = {"kind", "width",   "height",           "title", "author",
                                      "date", "comment", "pixel_dimensions", "pixels"};

py::object StateItem(const py::dict& state, const char* key) {
  if (!state.contains(key)) throw py::value_error(std::string("the pickled state has no '") + key + "'");
  return state[key];
}

int StateSize(const py::dict& state, const char* key) {
  const py::object value = StateItem(state, key);
  if (!PyLong_Check(value.ptr())) throw py::type_error(std::string("the pickled ") + key + " is not an int");
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0) throw py::value_error(std::string("the pickled ") + key + " is out of range");
  return NonNegative(number, key);
}

// A text as the pickle holds it: bytes (the library's own, maybe not UTF-8) or None.
std::optional<std::string> StateText(const py::dict& state, const char* key) {
  const py::object value = StateItem(state, key);
  if (value.is_none()) return std::nullopt;
  if (!py::isinstance<py::bytes>(value)) throw py::type_error(std::string("the pickled ") + key + " is not bytes");
  std::string text = value.cast<std::string>();
  if (text.find('\0') != std::string::npos)
    throw py::value_error(std::string("the pickled ") + key + " holds a NUL byte");
  return text;
}

float StateNumber(const py::handle& value) {
  if (!PyFloat_Check(value.ptr()) && !PyLong_Check(value.ptr()))
    throw py::type_error("the pickled pixel dimensions are numbers");
  const double number = PyFloat_AsDouble(value.ptr());  // an int too large for a double fails here
  if (number == -1.0 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    throw py::value_error("the pickled pixel dimensions are out of range");
  }
  if (std::isfinite(number) && std::fabs(number) > FLT_MAX)
    throw py::value_error("the pickled pixel dimensions are out of range");
  return static_cast<float>(number);
}

size_t PackedRowBytes(const KPixelKind& kind, int width) {
  return (static_cast<size_t>(width) * static_cast<size_t>(kind.bitsPerPixel) + 7) / 8;
}

// What a pickle keeps of an image, copied under its tree's lock.
struct ImageCopy {
  int width = 0, height = 0;
  std::optional<std::string> texts[4];  // title, author, date, comment
  float pixelWidth = 1.0f, pixelHeight = 1.0f;
  KMeasurementUnit* unit = &KUnitNone;
  std::string pixels;
};

std::optional<std::string> TextCopy(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

py::object RawText(const std::optional<std::string>& text) {
  return text ? py::object(py::bytes(*text)) : py::object(py::none());
}

py::object ImageState(const py::handle& self) {
  Node& node = NodeOf(self, "self");
  const ImageCopy copy = CallLocked({&node.TreeMutex()}, [&] {
    KGenericROI& image = *node.object;
    ImageCopy made;
    made.width = image.GetWidth();
    made.height = image.GetHeight();
    const size_t rowBytes = PackedRowBytes(*node.kind, made.width);
    made.pixels.resize(rowBytes * static_cast<size_t>(made.height));
    if (rowBytes > 0)  // an image without columns may have no pixel memory at all
      for (int y = 0; y < made.height; ++y)
        std::memcpy(&made.pixels[rowBytes * static_cast<size_t>(y)], image.GetGenericImagePtr(0, y), rowBytes);
    made.texts[0] = TextCopy(image.GetTitle());
    made.texts[1] = TextCopy(image.GetAuthor());
    made.texts[2] = TextCopy(image.GetDate());
    made.texts[3] = TextCopy(image.GetComment());
    image.GetPixelDimensions(made.pixelWidth, made.pixelHeight, made.unit);
    return made;
  });
  return py::dict("kind"_a = node.kind->name, "width"_a = copy.width, "height"_a = copy.height,
                  "title"_a = RawText(copy.texts[0]), "author"_a = RawText(copy.texts[1]),
                  "date"_a = RawText(copy.texts[2]), "comment"_a = RawText(copy.texts[3]),
                  "pixel_dimensions"_a = py::make_tuple(copy.pixelWidth, copy.pixelHeight, UnitName(copy.unit)),
                  "pixels"_a = py::bytes(copy.pixels));
}

ImageObject RestoreImage(const py::object& stateObject) {
  if (!py::isinstance<py::dict>(stateObject)) throw py::type_error("an Image's pickled state is a dict");
  const auto state = py::reinterpret_borrow<py::dict>(stateObject);
  for (const auto& item : state) {
    const bool known =
        py::isinstance<py::str>(item.first) &&
        std::find(std::begin(kStateKeys), std::end(kStateKeys), item.first.cast<std::string>()) != std::end(kStateKeys);
    if (!known)
      throw py::value_error("the pickled state has an unknown key " + py::repr(item.first).cast<std::string>());
  }
  const py::object kindName = StateItem(state, "kind");
  if (!py::isinstance<py::str>(kindName)) throw py::type_error("the pickled kind is not a str");
  const KPixelKind& kind = KindNamed(kindName.cast<std::string>());
  const int width = StateSize(state, "width");
  const int height = StateSize(state, "height");
  const std::optional<std::string> texts[] = {StateText(state, "title"), StateText(state, "author"),
                                              StateText(state, "date"), StateText(state, "comment")};
  const py::object dimensions = StateItem(state, "pixel_dimensions");
  if (!py::isinstance<py::tuple>(dimensions)) throw py::type_error("the pickled pixel dimensions are a tuple");
  const auto triple = py::reinterpret_borrow<py::tuple>(dimensions);
  if (triple.size() != 3) throw py::value_error("the pickled pixel dimensions are (width, height, unit)");
  const float pixelWidth = StateNumber(triple[0]), pixelHeight = StateNumber(triple[1]);
  if (!py::isinstance<py::str>(triple[2])) throw py::type_error("the pickled unit is not a str");
  KMeasurementUnit* unit = UnitNamed(triple[2].cast<std::string>());
  const py::object pixelsObject = StateItem(state, "pixels");
  if (!py::isinstance<py::bytes>(pixelsObject)) throw py::type_error("the pickled pixels are not bytes");
  const std::string pixels = pixelsObject.cast<std::string>();
  const size_t rowBytes = PackedRowBytes(kind, width);
  if (pixels.size() != rowBytes * static_cast<size_t>(height))  // at most 2^33 * 2^31: no wrap in size_t
    throw py::value_error("the pickled pixels do not fill the pickled size");

  auto node = NewImageNode(kind, MakeImage(kind, 0, 0));
  KGenericROI& image = *node->object;
  Call([&] {
    image.SetSize(width, height);
    if (KFailure()) return;
    if (rowBytes > 0)  // an image without columns may have no pixel memory at all
      for (int y = 0; y < height; ++y)
        std::memcpy(image.GetGenericImagePtr(0, y), &pixels[rowBytes * static_cast<size_t>(y)], rowBytes);
    image.SetTitle(texts[0] ? texts[0]->c_str() : nullptr);
    image.SetAuthor(texts[1] ? texts[1]->c_str() : nullptr);
    if (texts[2]) image.SetDate(texts[2]->c_str());
    image.SetComment(texts[3] ? texts[3]->c_str() : nullptr);
    image.SetPixelDimensions(pixelWidth, pixelHeight, unit);
  });
  return ImageObject{{node}};
}

}  // namespace

void InstallPixelBuffer(const py::handle& type) {
  auto* heapType = reinterpret_cast<PyHeapTypeObject*>(type.ptr());
  heapType->as_buffer.bf_getbuffer = GetPixelBuffer;
  heapType->as_buffer.bf_releasebuffer = ReleasePixelBuffer;
}

void DefineArrayMethods(py::class_<GenericROIObject>& cls) {
  cls.def("to_numpy", &ToNumpy,
          "A copy of the pixels: the dtype and shape of numpy.asarray(self), or a bool (h, w) array for BW1.");
  // NumPy turns an object whose buffer it cannot get into a 0-d object array; for BW1 it meets this first.
  cls.def(
      "__array__",
      [](const py::object& self, const py::object& dtype, const py::object& copy) {
        if (NodeOf(self, "self").kind->type == K_IMAGE_BW1)
          throw py::type_error("BW1 pixels are bits and have no view: to_numpy() copies them");
        const py::module_ numpy = py::module_::import("numpy");
        if (!copy.is_none() && py::bool_(copy)) return numpy.attr("asarray")(CopyPixels(NodeOf(self, "self")), dtype);
        return numpy.attr("asarray")(py::memoryview(self), dtype);
      },
      "dtype"_a = py::none(), "copy"_a = py::none());
  // An ROI is a window on its image, which pickles; the window alone has no pixels to keep.
  const auto refuse = [](const py::object& self) -> py::object {
    throw py::type_error("cannot pickle " + py::type::of(self).attr("__qualname__").cast<std::string>() +
                         ": pickle its image");
  };
  cls.def("__reduce__", refuse);
  cls.def(
      "__reduce_ex__", [refuse](const py::object& self, int) { return refuse(self); }, "protocol"_a);
}

void DefineImageArrays(py::class_<ImageObject, GenericROIObject>& cls) {
  cls.def_static("from_numpy", &FromNumpy, py::arg("array").noconvert(), "kind"_a = py::none(),
                 "An image that borrows the array's memory, without a copy; it keeps the array alive. Rows must be "
                 "contiguous, in increasing memory order and a whole number of samples apart. The kind comes from "
                 "dtype and shape, or from kind= (C15 and C16 for uint16 arrays).");
  cls.def_static("from_bits", &FromBits, "bits"_a, "A BW1 image holding a copy of a bool (h, w) array.");
  cls.def(py::pickle(&ImageState, &RestoreImage));
  // Every protocol pickles as protocol 2 does: the object made by __new__, then its state. Protocols 0
  // and 1 would otherwise call the base of pybind11's classes, which cannot make one.
  const auto reduce = [](const py::object& self) {
    const py::object state = self.attr("__getstate__")();
    return py::make_tuple(py::module_::import("copyreg").attr("__newobj__"), py::make_tuple(py::type::of(self)), state);
  };
  cls.def("__reduce__", reduce);
  cls.def(
      "__reduce_ex__", [reduce](const py::object& self, int) { return reduce(self); }, "protocol"_a);
}

}  // namespace kvpy
