// kvbase.MemoryDC: a memory device context of the library's software GDI, the images, ROI frames and
// masks drawn into it, and its pixels read back as a NumPy copy. Draws run with the interpreter lock
// released; one device context is drawn into by one thread at a time.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "bindings.h"
#include "image_nodes.h"
#include "instances.h"
#include "kvbase/display/image_drawing.h"
#include "kvbase/platform/gdi.h"
#include "kvbase/vectors/profile_vectors.h"
#include "library_call.h"

namespace kvpy {

namespace {

using namespace pybind11::literals;

class MemoryDC {
 public:
  MemoryDC(int width, int height, int bits) : width_(width), height_(height), bits_(bits) {
    dc_ = Call([&] { return KCreateMemoryDC(width, height, bits); });
    if (dc_ == nullptr) throw std::bad_alloc();
  }
  ~MemoryDC() { DeleteDC(dc_); }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int bits() const { return bits_; }
  std::mutex& mutex() { return mutex_; }

 private:
  HDC dc_;
  int width_, height_, bits_;
  std::mutex mutex_;
};

// Logical (0, 0), where the library puts every picture, moved to device pixel (x, y) while alive.
class ViewportAt {
 public:
  ViewportAt(HDC dc, int x, int y) : dc_(dc) { SetViewportOrgEx(dc, x, y, &previous_); }
  ~ViewportAt() { SetViewportOrgEx(dc_, previous_.x, previous_.y, nullptr); }
  ViewportAt(const ViewportAt&) = delete;
  ViewportAt& operator=(const ViewportAt&) = delete;

 private:
  HDC dc_;
  POINT previous_{};
};

// A pen selected into the device context while alive, and a white brush for frame handles.
class PenSelected {
 public:
  PenSelected(HDC dc, COLORREF colour)
      : dc_(dc),
        pen_(CreatePen(PS_SOLID, 1, colour)),
        oldPen_(SelectObject(dc, pen_)),
        oldBrush_(SelectObject(dc, GetStockObject(WHITE_BRUSH))) {}
  ~PenSelected() {
    SelectObject(dc_, oldBrush_);
    SelectObject(dc_, oldPen_);
    DeleteObject(pen_);
  }
  PenSelected(const PenSelected&) = delete;
  PenSelected& operator=(const PenSelected&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HGDIOBJ oldPen_, oldBrush_;
};

// Arrays as the bindings read them: packed, in row order, whatever the layout of the caller's array.
template <typename T>
using PackedArray = py::array_t<T, py::array::c_style | py::array::forcecast>;

// A number, or a pair of numbers (any sequence or array of two), as two floats.
std::pair<float, float> PairOf(const py::handle& value, const char* what) {
  if (!value.is_none() && !py::isinstance<py::str>(value) && !py::isinstance<py::bytes>(value)) {
    try {
      const auto numbers =
          py::module_::import("numpy").attr("asarray")(value, "dtype"_a = "float32").cast<PackedArray<float>>();
      if (numbers.ndim() == 0) return {numbers.data()[0], numbers.data()[0]};
      if (numbers.ndim() == 1 && numbers.size() == 2) return {numbers.data()[0], numbers.data()[1]};
    } catch (const py::error_already_set&) {
      // not numbers: reported below
    }
  }
  throw py::type_error(std::string(what) + " is a number or an (x, y) pair of numbers");
}

COLORREF ColourOf(const py::handle& value) {
  const py::tuple rgb = py::tuple(py::reinterpret_borrow<py::object>(value));
  if (rgb.size() != 3) throw py::value_error("a colour is (red, green, blue)");
  int c[3];
  for (int i = 0; i < 3; ++i) {
    c[i] = rgb[i].cast<int>();
    if (c[i] < 0 || c[i] > 255) throw py::value_error("colour components lie within 0 to 255");
  }
  return RGB(c[0], c[1], c[2]);
}

K_FRAME_POSITION FramePositionOf(const std::string& name) {
  if (name == "on-border") return K_FRAME_POSITION_ON_BORDER;
  if (name == "inside") return K_FRAME_POSITION_INSIDE;
  if (name == "outside") return K_FRAME_POSITION_OUTSIDE;
  throw py::value_error("a frame position is 'on-border', 'inside' or 'outside'");
}

// A lookup table from a sequence or array: 1-D gray levels (KBW8Vector), or rows of (byte 0, byte 1,
// byte 2), blue, green, red as C24 pixels hold them (KC24Vector). The library refuses a length other
// than 256.
struct LookupTable {
  std::unique_ptr<KBW8Vector> gray;
  std::unique_ptr<KC24Vector> colour;
};

LookupTable LookupTableOf(const py::object& lut) {
  LookupTable table;
  if (lut.is_none()) return table;
  const py::array levels = py::module_::import("numpy").attr("asarray")(lut);
  if (levels.dtype().kind() != 'u' && levels.dtype().kind() != 'i')
    throw py::type_error("a lookup table holds integers within 0 to 255");
  const auto values = levels.attr("astype")("int64").cast<PackedArray<long long>>();
  const bool isColour = values.ndim() == 2 && values.shape(1) == 3;
  if (values.ndim() != 1 && !isColour) throw py::value_error("a lookup table is 1-D, or of shape (n, 3)");
  const long long* v = values.data();
  for (py::ssize_t i = 0; i < values.size(); ++i)
    if (v[i] < 0 || v[i] > 255) throw py::value_error("lookup table entries lie within 0 to 255");
  const auto count = static_cast<unsigned int>(values.shape(0));
  if (isColour) {
    table.colour = std::make_unique<KC24Vector>(count);
    table.colour->SetNumElements(count);
    for (unsigned int i = 0; i < count; ++i)
      (*table.colour)[i] = KC24(static_cast<unsigned char>(v[3 * i + 2]), static_cast<unsigned char>(v[3 * i + 1]),
                                static_cast<unsigned char>(v[3 * i]));
  } else {
    table.gray = std::make_unique<KBW8Vector>(count);
    table.gray->SetNumElements(count);
    for (unsigned int i = 0; i < count; ++i) (*table.gray)[i] = static_cast<unsigned char>(v[i]);
  }
  return table;
}

// The members Draw of the node's own class, which trace "KImage::..." or "KROI::...".
void DrawNode(Node& node, HDC dc, const LookupTable& table, float zoomX, float zoomY) {
  if (table.gray == nullptr && table.colour == nullptr) return node.object->Draw(dc, zoomX, zoomY);
  VisitKind(*node.kind, [&](auto pixel) {
    using T = decltype(pixel);
    if (node.IsImage()) {
      if (table.gray) node.AsImage<T>()->Draw(dc, table.gray.get(), zoomX, zoomY);
      if (table.colour) node.AsImage<T>()->Draw(dc, table.colour.get(), zoomX, zoomY);
    } else {
      if (table.gray) node.As<T>()->Draw(dc, table.gray.get(), zoomX, zoomY);
      if (table.colour) node.As<T>()->Draw(dc, table.colour.get(), zoomX, zoomY);
    }
  });
}

// The device context of `self`; TypeError for an instance that was never initialised.
constexpr const char* kNoPickle = "cannot pickle a kvbase.MemoryDC: pickle its pixels()";

MemoryDC& DCOf(const py::handle& self) { return Constructed<MemoryDC>(self, "self", "a kvbase.MemoryDC"); }

void Draw(const py::handle& dcObject, const py::object& source, int x, int y, const py::object& zoom,
          const py::object& lut) {
  MemoryDC& self = DCOf(dcObject);
  Node& node = NodeOf(source, "source");
  const auto [zoomX, zoomY] = PairOf(zoom, "zoom");
  const LookupTable table = LookupTableOf(lut);
  CallLocked({&self.mutex(), &node.TreeMutex()}, [&] {
    ViewportAt at(self.dc(), x, y);
    DrawNode(node, self.dc(), table, zoomX, zoomY);
  });
}

// Draws over an ROI at (x, y) with the pen of the given colour; `draw` gets the node, the DC, the zoom and
// the pan.
template <class Draw>
void DrawOverRoi(const py::handle& dcObject, const py::object& roi, int x, int y, const py::object& zoom,
                 const py::object& pan, const py::object& color, Draw draw) {
  MemoryDC& self = DCOf(dcObject);
  Node& node = NodeOf(roi, "roi");
  const auto [zoomX, zoomY] = PairOf(zoom, "zoom");
  const auto [panX, panY] = PairOf(pan, "pan");
  const COLORREF colour = ColourOf(color);
  CallLocked({&self.mutex(), &node.TreeMutex()}, [&] {
    ViewportAt at(self.dc(), x, y);
    PenSelected pen(self.dc(), colour);
    draw(node, self.dc(), zoomX, zoomY, panX, panY);
  });
}

void DrawFrame(const py::handle& dcObject, const py::object& roi, int x, int y, const std::string& position,
               bool handles, const py::object& zoom, const py::object& pan, const py::object& color) {
  DCOf(dcObject), NodeOf(roi, "roi");  // their TypeErrors come before the position's ValueError
  const K_FRAME_POSITION where = FramePositionOf(position);
  DrawOverRoi(dcObject, roi, x, y, zoom, pan, color,
              [&](Node& node, HDC dc, float zoomX, float zoomY, float panX, float panY) {
                node.object->DrawFrame(dc, where, handles ? 1 : 0, zoomX, zoomY, panX, panY);
              });
}

void DrawMask(const py::handle& dcObject, const py::object& roi, int x, int y, const py::object& zoom,
              const py::object& pan, const py::object& color) {
  DrawOverRoi(dcObject, roi, x, y, zoom, pan, color,
              [](Node& node, HDC dc, float zoomX, float zoomY, float panX, float panY) {
                node.object->DrawMask(dc, zoomX, zoomY, panX, panY);
              });
}

// The selected bitmap's pixels: (h, w) bool at 1 bit, uint8 indexes at 8, uint16 5-5-5 words at 16,
// (h, w, 3) blue, green, red bytes at 24, (h, w, 4) blue, green, red and an unused byte at 32.
py::array Pixels(const py::handle& dcObject) {
  MemoryDC& self = DCOf(dcObject);
  const int width = self.width(), height = self.height(), bits = self.bits();
  const int channels = bits == 24 ? 3 : bits == 32 ? 4 : 1;
  // Made before the copy, which runs without the interpreter lock and writes only the array's memory.
  py::array copy = bits == 1       ? py::array(py::dtype::of<bool>(), std::vector<py::ssize_t>{height, width})
                   : bits == 16    ? py::array(py::dtype::of<unsigned short>(), std::vector<py::ssize_t>{height, width})
                   : channels == 1 ? py::array(py::dtype::of<unsigned char>(), {height, width})
                                   : py::array(py::dtype::of<unsigned char>(), {height, width, channels});
  auto* out = static_cast<unsigned char*>(copy.mutable_data());
  CallLocked({&self.mutex()}, [&] {
    BITMAP bitmap{};
    GetObject(GetCurrentObject(self.dc(), OBJ_BITMAP), sizeof bitmap, &bitmap);
    // Offsets in ptrdiff_t: a bitmap or a copy may pass 2 GiB, where y * bytes per row would wrap as int.
    const auto* rows = static_cast<const unsigned char*>(bitmap.bmBits);
    const std::ptrdiff_t pitch = bitmap.bmWidthBytes;
    if (bits == 1) {
      for (std::ptrdiff_t y = 0; y < height; ++y) UnpackBitRow(rows + y * pitch, 0, width, out + y * width);
      return;
    }
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width) * (bits / 8);
    for (std::ptrdiff_t y = 0; y < height; ++y)
      std::memcpy(out + rowBytes * y, rows + pitch * y, static_cast<size_t>(rowBytes));
  });
  return copy;
}

}  // namespace

void RegisterDeviceContexts(py::module_& m) {
  py::class_<MemoryDC>(m, "MemoryDC", "A memory device context with a zero-filled bitmap of its own.")
      .def(py::init([](int width, int height, int bits) {
             if (width <= 0 || height <= 0) throw py::value_error("a device context is at least 1 x 1");
             if (bits != 1 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
               throw py::value_error("bits per pixel is 1, 8, 16, 24 or 32");
             return std::make_unique<MemoryDC>(width, height, bits);
           }),
           "width"_a, "height"_a, "bits"_a = 32)
      .def_property_readonly("width", [](const py::handle& self) { return DCOf(self).width(); })
      .def_property_readonly("height", [](const py::handle& self) { return DCOf(self).height(); })
      .def_property_readonly("bits", [](const py::handle& self) { return DCOf(self).bits(); })
      .def("draw", &Draw, "source"_a, "x"_a = 0, "y"_a = 0, "zoom"_a = 1.0f, "lut"_a = py::none(),
           "Draws an image or ROI with its top-left corner at (x, y), zoomed by a factor or an (x, y) pair; BW8 "
           "pixels may go through a 256-entry lookup table of gray levels, or of (blue, green, red) rows.")
      .def("draw_frame", &DrawFrame, "roi"_a, "x"_a = 0, "y"_a = 0, "position"_a = "on-border", "handles"_a = true,
           "zoom"_a = 1.0f, "pan"_a = py::make_tuple(0.0f, 0.0f), "color"_a = py::make_tuple(255, 0, 0),
           "Draws the ROI's frame where it lies in its root image (plus the pan, times the zoom), offset by "
           "(x, y); with handles, its eight drag handles filled white.")
      .def("draw_mask", &DrawMask, "roi"_a, "x"_a = 0, "y"_a = 0, "zoom"_a = 1.0f, "pan"_a = py::make_tuple(0.0f, 0.0f),
           "color"_a = py::make_tuple(0, 255, 0),
           "Draws the ROI's mask runs as lines where they lie in the root image, offset by (x, y).")
      .def("pixels", &Pixels, "A copy of the device context's pixels.")
      // A device context lives in this process only; pickling refuses it for every protocol.
      .def("__reduce__", [](const py::handle&) -> py::object { throw py::type_error(kNoPickle); })
      .def("__reduce_ex__", [](const py::handle&, int) -> py::object { throw py::type_error(kNoPickle); });
}

}  // namespace kvpy
