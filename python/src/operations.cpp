// Operations that compute pixels: kvbase.resize, GenericROI.resized, kvbase.render_relief and
// kvbase.render_color_histogram. Each runs with the interpreter lock released.
//
// Angles are in degrees, as kvtool takes them, whatever the library's process-wide angle unit: the gray
// relief and the colour histogram get them converted into the current unit, the colour relief (which
// takes radians) in radians.

#include <pybind11/pybind11.h>

#include <type_traits>

#include "bindings.h"
#include "image_nodes.h"
#include "kvbase/render/color_histogram.h"
#include "kvbase/render/relief.h"
#include "kvbase/render/resize.h"
#include "library_call.h"

namespace kvpy {

namespace {

using namespace pybind11::literals;

constexpr float kDegreesPerRadian = 57.29577951308232f;

template <typename T>
constexpr bool kResizable =
    std::is_same_v<T, unsigned char> || std::is_same_v<T, unsigned short> || std::is_same_v<T, KC15> ||
    std::is_same_v<T, KC16> || std::is_same_v<T, KC24> || std::is_same_v<T, KC24A>;

constexpr std::initializer_list<K_IMAGE_TYPES> kResizableKinds = {K_IMAGE_BW8, K_IMAGE_BW16, K_IMAGE_C15,
                                                                  K_IMAGE_C16, K_IMAGE_C24,  K_IMAGE_C24A};

// Degrees in the library's current angle unit; exact when that unit is degrees.
float InCurrentAngleUnit(float degrees) {
  return KGetAngleUnit() == K_ANGLE_UNIT_DEGREES ? degrees : KFromRadians(degrees / kDegreesPerRadian);
}

// One library call holding both trees.
void ResizeNodes(Node& source, Node& destination) {
  CallLocked({&source.TreeMutex(), &destination.TreeMutex()}, [&] {
    VisitKind(*source.kind, [&](auto pixel) {
      using T = decltype(pixel);
      if constexpr (kResizable<T>) KResize(source.As<T>(), destination.As<T>());
    });
  });
}

void Resize(const py::object& source, const py::object& destination) {
  Node& from = NodeOf(source, "source");
  Node& to = NodeOf(destination, "destination");
  RequireKind(from, kResizableKinds, "resize");
  if (to.kind != from.kind) throw py::type_error("resize: the source and the destination have different kinds");
  ResizeNodes(from, to);
}

ImageObject Resized(const py::handle& self, long long width, long long height) {
  Node& source = NodeOf(self, "self");
  RequireKind(source, kResizableKinds, "resized");
  const int w = NonNegative(width, "width"), h = NonNegative(height, "height");
  auto destination = NewImageNode(*source.kind, nullptr);
  CallReleased([&] { destination->object = MakeImage(*source.kind, w, h); });
  ResizeNodes(source, *destination);
  return ImageObject{{destination}};
}

struct Scene {
  float tilt, turn, scaleX, scaleY, scaleZ;
};

void RenderRelief(const py::object& heights, const py::object& destination, float tilt, float turn, float scaleX,
                  float scaleY, float scaleZ, int dotMode, const py::object& colors) {
  Node& h = NodeOf(heights, "heights");
  Node& d = NodeOf(destination, "destination");
  RequireKind(h, {K_IMAGE_BW8}, "render_relief's heights");
  const Scene s{tilt, turn, scaleX, scaleY, scaleZ};
  if (colors.is_none()) {
    RequireKind(d, {K_IMAGE_BW8}, "render_relief's destination without colors");
    CallLocked({&h.TreeMutex(), &d.TreeMutex()}, [&] {
      KRender3D(h.As<unsigned char>(), d.As<unsigned char>(), InCurrentAngleUnit(s.tilt), InCurrentAngleUnit(s.turn),
                s.scaleX, s.scaleY, s.scaleZ, dotMode);
    });
    return;
  }
  Node& c = NodeOf(colors, "colors");
  RequireKind(c, {K_IMAGE_C24}, "render_relief's colors");
  RequireKind(d, {K_IMAGE_C24}, "render_relief's destination with colors");
  CallLocked({&h.TreeMutex(), &d.TreeMutex(), &c.TreeMutex()}, [&] {
    KRender3D(c.As<KC24>(), h.As<unsigned char>(), d.As<KC24>(), s.tilt / kDegreesPerRadian, s.turn / kDegreesPerRadian,
              s.scaleX, s.scaleY, s.scaleZ, dotMode);
  });
}

void RenderColorHistogram(const py::object& source, const py::object& destination, float tilt, float turn, float scaleX,
                          float scaleY, float scaleZ, const py::object& coordinates) {
  Node& from = NodeOf(source, "source");
  Node& d = NodeOf(destination, "destination");
  RequireKind(from, {K_IMAGE_C24}, "render_color_histogram's source");
  RequireKind(d, {K_IMAGE_C24}, "render_color_histogram's destination");
  Node* at = coordinates.is_none() ? nullptr : &NodeOf(coordinates, "coordinates");
  if (at != nullptr) RequireKind(*at, {K_IMAGE_C24}, "render_color_histogram's coordinates");
  const Scene s{tilt, turn, scaleX, scaleY, scaleZ};
  CallLocked({&from.TreeMutex(), &d.TreeMutex(), at != nullptr ? &at->TreeMutex() : nullptr}, [&] {
    const float a = InCurrentAngleUnit(s.tilt), b = InCurrentAngleUnit(s.turn);
    if (at == nullptr)
      KRenderColorHistogram(from.As<KC24>(), d.As<KC24>(), a, b, s.scaleX, s.scaleY, s.scaleZ);
    else
      KRenderColorHistogram(from.As<KC24>(), at->As<KC24>(), d.As<KC24>(), a, b, s.scaleX, s.scaleY, s.scaleZ);
  });
}

}  // namespace

void RegisterOperations(py::module_& m) {
  m.def("resize", &Resize, "source"_a, "destination"_a,
        "Nearest-neighbour scaling of the source's pixels into the destination (same kind: BW8, BW16, C15, C16, "
        "C24 or C24A), which keeps its size.");
  py::reinterpret_borrow<py::class_<GenericROIObject>>(m.attr("GenericROI"))
      .def("resized", &Resized, "width"_a, "height"_a, "A new image of this size holding the resized pixels.");
  m.def("render_relief", &RenderRelief, "heights"_a, "destination"_a, py::kw_only(), "tilt"_a = 30.0f, "turn"_a = 30.0f,
        "scale_x"_a = 1.0f, "scale_y"_a = 1.0f, "scale_z"_a = 1.0f, "dot_mode"_a = 1, "colors"_a = py::none(),
        "Draws the BW8 heights as a landscape seen from tilt and turn angles in degrees, each pixel a dot of "
        "dot_mode pixels (1, 4, 5 or 9) on gray 128; BW8 destination, or C24 with the dots' colours taken "
        "from the C24 colors.");
  m.def("render_color_histogram", &RenderColorHistogram, "source"_a, "destination"_a, py::kw_only(), "tilt"_a = 30.0f,
        "turn"_a = 30.0f, "scale_x"_a = 1.0f, "scale_y"_a = 1.0f, "scale_z"_a = 1.0f, "coordinates"_a = py::none(),
        "Draws every colour of the C24 source as a point of the colour cube, seen from angles in degrees, into "
        "the C24 destination; with coordinates, the points are placed by that C24 image's pixels.");
}

}  // namespace kvpy
