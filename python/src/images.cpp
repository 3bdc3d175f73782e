// kvbase.GenericROI, kvbase.Image and kvbase.ROI: sizes, texts, resolution, sub-ROIs and masks. Their
// pixels as NumPy arrays are bound in image_arrays.cpp, their files in files.cpp.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "image_nodes.h"
#include "images.h"
#include "kvbase/foundation/units.h"
#include "library_call.h"

namespace kvpy {

namespace {

using namespace pybind11::literals;

// --- Texts: char strings in the library, str in Python. They are read and written as UTF-8; bytes that
// are not UTF-8 (a Latin-1 text from a file, say) come back as surrogates and go back unchanged.

py::object TextOf(const char* text) {
  if (text == nullptr) return py::none();
  PyObject* decoded = PyUnicode_DecodeUTF8(text, static_cast<py::ssize_t>(std::strlen(text)), "surrogateescape");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(decoded);
}

std::optional<std::string> TextBytes(const py::handle& value) {
  if (value.is_none()) return std::nullopt;
  if (!py::isinstance<py::str>(value)) throw py::type_error("a text must be a str or None");
  PyObject* encoded = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape");
  if (encoded == nullptr) throw py::error_already_set();
  std::string text = py::reinterpret_steal<py::bytes>(encoded);
  if (text.find('\0') != std::string::npos) throw py::value_error("a text cannot hold a NUL character");
  return text;
}

using TextGetter = char* (KGenericROI::*)() const;
using TextSetter = void (KGenericROI::*)(const char*);

void DefineText(py::class_<GenericROIObject>& cls, const char* name, TextGetter get, TextSetter set, const char* doc) {
  cls.def_property(
      name,
      [get](const py::handle& self) {
        Node& node = NodeOf(self, "self");
        const std::optional<std::string> text = CallLocked({&node.TreeMutex()}, [&]() -> std::optional<std::string> {
          const char* held = (node.object.get()->*get)();
          if (held == nullptr) return std::nullopt;
          return std::string(held);
        });
        return TextOf(text ? text->c_str() : nullptr);
      },
      [set](const py::handle& self, const py::object& value) {
        Node& node = NodeOf(self, "self");
        const std::optional<std::string> text = TextBytes(value);
        CallLocked({&node.TreeMutex()}, [&] { (node.object.get()->*set)(text ? text->c_str() : nullptr); });
      },
      doc);
}

using DimensionGetter = void (KGenericROI::*)(float&, float&, KMeasurementUnit*&);
using DimensionSetter = void (KGenericROI::*)(float, float, KMeasurementUnit*);

py::tuple GetDimensions(const py::handle& self, DimensionGetter get) {
  Node& node = NodeOf(self, "self");
  float x = 0.0f, y = 0.0f;
  KMeasurementUnit* unit = &KUnitNone;
  CallLocked({&node.TreeMutex()}, [&] { (node.object.get()->*get)(x, y, unit); });
  return py::make_tuple(x, y, UnitName(unit));
}

void SetDimensions(const py::handle& self, DimensionSetter set, float x, float y, const std::string& unitName) {
  Node& node = NodeOf(self, "self");
  KMeasurementUnit* unit = UnitNamed(unitName);
  CallLocked({&node.TreeMutex()}, [&] { (node.object.get()->*set)(x, y, unit); });
}

// --- Sub-ROIs and masks.

ROIObject NewROI(const py::handle& self, int x, int y, int width, int height) {
  Node& parent = NodeOf(self, "self");
  auto node = std::make_shared<Node>();
  node->parent = self.cast<GenericROIObject&>().node;
  node->kind = parent.kind;
  CallLocked({&parent.TreeMutex()}, [&] {
    node->object = VisitKind(*node->kind, [&](auto pixel) -> std::unique_ptr<KGenericROI> {
      using T = decltype(pixel);
      return std::make_unique<KROI<T>>(parent.As<T>(), x, y, width, height);
    });
  });
  return ROIObject{{node}};
}

// Runs a mask builder under the tree's lock, as one library call.
template <typename Build>
void BuildMask(const py::handle& self, Build build) {
  Node& node = NodeOf(self, "self");
  CallLocked({&node.TreeMutex()}, [&] { build(node); });
}

struct MaskRun {
  long long x, y, length;  // in the ROI's coordinates
};

// The ROI's size and mask, read at once under the tree's lock.
struct MaskCopy {
  int width = 0, height = 0;
  std::vector<MaskRun> runs;
};

MaskCopy CopyMask(Node& node) {
  return CallLocked({&node.TreeMutex()}, [&] {
    MaskCopy copy{node.object->GetWidth(), node.object->GetHeight(), {}};
    VisitKind(*node.kind, [&](auto pixel) {
      using T = decltype(pixel);
      KVectorTemplate<KRun>& mask = node.As<T>()->GetMask();
      copy.runs.reserve(mask.GetNumElements());
      for (unsigned int i = 0; i < mask.GetNumElements(); ++i) {
        const KRun& run = mask.GetDataPtr()[i];
        copy.runs.push_back({run.x, run.y, static_cast<long long>(run.end - run.start) / node.kind->elementSize});
      }
    });
    return copy;
  });
}

py::list MaskRuns(const py::handle& self) {
  py::list runs;
  for (const MaskRun& run : CopyMask(NodeOf(self, "self")).runs) runs.append(py::make_tuple(run.x, run.y, run.length));
  return runs;
}

py::array_t<bool> MaskArray(const py::handle& self) {
  const MaskCopy mask = CopyMask(NodeOf(self, "self"));
  py::array_t<bool> inside({mask.height, mask.width});
  std::memset(inside.mutable_data(), 0, static_cast<size_t>(inside.nbytes()));
  auto cells = inside.mutable_unchecked<2>();
  for (const MaskRun& run : mask.runs) {
    if (run.y < 0 || run.y >= mask.height) continue;
    for (long long c = std::max(0LL, run.x); c < std::min<long long>(run.x + run.length, mask.width); ++c)
      cells(run.y, c) = true;
  }
  return inside;
}

// x, y, width and height of an image or ROI, read at once under its tree's lock.
std::array<int, 4> Placement(Node& node) {
  return Locked({&node.TreeMutex()}, [&] {
    KGenericROI& roi = *node.object;
    return std::array<int, 4>{roi.GetOrgX(), roi.GetOrgY(), roi.GetWidth(), roi.GetHeight()};
  });
}

// One of an image's or ROI's numbers, read under its tree's lock.
template <typename Read>
auto ReadLocked(const py::handle& self, Read read) {
  Node& node = NodeOf(self, "self");
  return CallLocked({&node.TreeMutex()}, [&] { return read(*node.object); });
}

py::str Describe(const py::handle& self, const char* type) {
  Node& node = NodeOf(self, "self");
  const auto [x, y, width, height] = Placement(node);
  std::string text = std::string("<kvbase.") + type + " " + node.kind->name + " " + std::to_string(width) + "x" +
                     std::to_string(height);
  if (!node.IsImage()) text += " at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return py::str(text + ">");
}

void DefineGenericROI(py::class_<GenericROIObject>& cls) {
  cls.def_property_readonly(
         "width",
         [](const py::handle& self) { return ReadLocked(self, [](KGenericROI& roi) { return roi.GetWidth(); }); },
         "Columns.")
      .def_property_readonly(
          "height",
          [](const py::handle& self) { return ReadLocked(self, [](KGenericROI& roi) { return roi.GetHeight(); }); },
          "Rows.")
      .def_property_readonly(
          "kind", [](const py::handle& self) { return py::str(NodeOf(self, "self").kind->name); },
          "The pixel kind: 'BW1', 'BW8', 'BW16', 'BW32', 'C15', 'C16', 'C24' or 'C24A'.")
      .def_property_readonly(
          "row_pitch",
          [](const py::handle& self) { return ReadLocked(self, [](KGenericROI& roi) { return roi.GetRowPitch(); }); },
          "Bytes from the start of one row to the start of the next (the root image's rows).")
      .def(
          "get_image_ptr",
          [](const py::handle& self, int x, int y) {
            Node& node = NodeOf(self, "self");
            // Checked before the library call, which would clear the current error.
            const std::optional<std::uintptr_t> address =
                Locked({&node.TreeMutex()}, [&]() -> std::optional<std::uintptr_t> {
                  KGenericROI& roi = *node.object;
                  if (x < 0 || y < 0 || x >= roi.GetWidth() || y >= roi.GetHeight()) return std::nullopt;
                  return reinterpret_cast<std::uintptr_t>(roi.GetGenericImagePtr(x, y));
                });
            if (!address)
              throw py::value_error("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") lies outside");
            return Call([&] { return *address; });  // a success clears the current error, as every call does
          },
          "x"_a = 0, "y"_a = 0, "The address of pixel (x, y): the byte that holds it, for BW1.")
      .def("roi", &NewROI, "x"_a, "y"_a, "width"_a, "height"_a,
           "An ROI of this image or ROI, placed in its coordinates and clipped to it. The ROI keeps its parent "
           "alive.")
      .def(
          "set_rectangle_mask",
          [](const py::handle& self, int x, int y, int width, int height) {
            BuildMask(self, [&](Node& node) { node.object->SetRectangleMask(x, y, width, height); });
          },
          "x"_a, "y"_a, "width"_a, "height"_a,
          "Mask of the rectangle, clipped to the ROI; a width or height below 1 means the ROI's.")
      .def(
          "set_ellipse_mask",
          [](const py::handle& self, int x, int y, int width, int height) {
            BuildMask(self, [&](Node& node) { node.object->SetEllipseMask(x, y, width, height); });
          },
          "x"_a = 0, "y"_a = 0, "width"_a = 0, "height"_a = 0,
          "Mask of the ellipse inscribed in the box; a width or height of 0 means the whole ROI.")
      .def(
          "set_ring_mask",
          [](const py::handle& self, float ratio) {
            BuildMask(self, [&](Node& node) {
              VisitKind(*node.kind, [&](auto pixel) { node.As<decltype(pixel)>()->SetRingMask(ratio); });
            });
          },
          "ratio"_a, "Mask of the band between the ROI's ellipse and the one scaled by `ratio`.")
      .def(
          "reset_mask", [](const py::handle& self) { BuildMask(self, [](Node& node) { node.object->ResetMask(); }); },
          "Empties the mask.")
      .def("mask_runs", &MaskRuns, "The mask's runs as (x, y, length), in the ROI's coordinates.")
      .def("mask_array", &MaskArray, "The mask as a bool array of the ROI's (height, width).")
      .def(
          "get_resolution", [](const py::handle& self) { return GetDimensions(self, &KGenericROI::GetResolution); },
          "(x, y, unit): pixels per unit length, of the root image.")
      .def(
          "set_resolution",
          [](const py::handle& self, float x, float y, const std::string& unit) {
            SetDimensions(self, &KGenericROI::SetResolution, x, y, unit);
          },
          "x"_a, "y"_a, "unit"_a = "none",
          "Sets pixels per unit length; unit is none, um, mm, cm, dm, m, dam, hm, km, mil, inch, foot, yard or "
          "mile.")
      .def(
          "get_pixel_dimensions",
          [](const py::handle& self) { return GetDimensions(self, &KGenericROI::GetPixelDimensions); },
          "(width, height, unit): the size of one pixel, of the root image.")
      .def(
          "set_pixel_dimensions",
          [](const py::handle& self, float width, float height, const std::string& unit) {
            SetDimensions(self, &KGenericROI::SetPixelDimensions, width, height, unit);
          },
          "width"_a, "height"_a, "unit"_a = "none", "Sets the size of one pixel.");
  DefineText(cls, "title", &KGenericROI::GetTitle, &KGenericROI::SetTitle, "Title text, or None.");
  DefineText(cls, "author", &KGenericROI::GetAuthor, &KGenericROI::SetAuthor, "Author text, or None.");
  DefineText(cls, "date", &KGenericROI::GetDate, &KGenericROI::SetDate,
             "Date text, or None; setting '' stores the present local time.");
  DefineText(cls, "comment", &KGenericROI::GetComment, &KGenericROI::SetComment, "Comment text, or None.");
}

// An ROI's placement: `which` 0 to 3 is x, y, width, height. Setters clip to the parent and are refused
// (kvbase.Error) only when nothing would remain.
void DefinePlacement(py::class_<ROIObject, GenericROIObject>& cls, const char* name, int (KGenericROI::*get)() const,
                     int which, const char* doc) {
  cls.def_property(
      name, [get](const py::handle& self) { return ReadLocked(self, [&](KGenericROI& roi) { return (roi.*get)(); }); },
      [which](const py::handle& self, int value) {
        Node& node = NodeOf(self, "self");
        CallLocked({&node.TreeMutex()}, [&] {
          VisitKind(*node.kind, [&](auto pixel) {
            KROI<decltype(pixel)>* roi = node.As<decltype(pixel)>();
            switch (which) {
              case 0: roi->SetOrgX(value); break;
              case 1: roi->SetOrgY(value); break;
              case 2: roi->SetWidth(value); break;
              default: roi->SetHeight(value); break;
            }
          });
        });
      },
      doc);
}

}  // namespace

void RegisterImages(py::module_& m) {
  py::class_<GenericROIObject> generic(m, "GenericROI", py::buffer_protocol(),
                                       "What images and ROIs share: size, kind, pixels, texts, masks, files.");
  DefineGenericROI(generic);
  DefineArrayMethods(generic);
  InstallPixelBuffer(generic);

  py::class_<ImageObject, GenericROIObject> image(m, "Image", py::buffer_protocol(),
                                                  "An image that owns its pixels, or borrows a NumPy array's.");
  image
      .def(py::init([](long long width, long long height, const py::object& kind) {
             const KPixelKind& pixelKind = KindOf(kind);
             const int w = NonNegative(width, "width"), h = NonNegative(height, "height");
             auto object = CallReleased([&] {
               std::unique_ptr<KGenericROI> made = MakeImage(pixelKind, w, h);
               if (void* pixels = made->GetGenericImagePtr(0, 0))
                 std::memset(pixels, 0, static_cast<size_t>(made->GetRowPitch()) * static_cast<size_t>(h));
               return made;
             });
             return ImageObject{{NewImageNode(pixelKind, std::move(object))}};
           }),
           "width"_a, "height"_a, "kind"_a = "BW8", "A new image, its pixels zero.")
      .def_property_readonly(
          "format",
          [](const py::handle& self) -> py::object {
            const Node& node = NodeOf(self, "self");
            if (node.format < 0) return py::none();
            return py::int_(node.format);
          },
          "The format code of the file the image was loaded from, or None.")
      .def("__repr__", [](const py::handle& self) { return Describe(self, "Image"); });
  InstallPixelBuffer(image);
  DefineImageArrays(image);

  py::class_<ROIObject, GenericROIObject> roi(m, "ROI", py::buffer_protocol(),
                                              "A window onto the pixels of an image, made by roi(); it keeps its "
                                              "root image alive.");
  DefinePlacement(roi, "x", &KGenericROI::GetOrgX, 0, "Column of the parent that holds column 0.");
  DefinePlacement(roi, "y", &KGenericROI::GetOrgY, 1, "Row of the parent that holds row 0.");
  DefinePlacement(roi, "width", &KGenericROI::GetWidth, 2, "Columns; clipped to the parent when set.");
  DefinePlacement(roi, "height", &KGenericROI::GetHeight, 3, "Rows; clipped to the parent when set.");
  roi.def("__repr__", [](const py::handle& self) { return Describe(self, "ROI"); });
  InstallPixelBuffer(roi);
}

}  // namespace kvpy
