// Image files: kvbase.load, GenericROI.save and the process-wide file settings. Loads and saves run
// with the interpreter lock released.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <optional>
#include <string>
#include <type_traits>

#include "bindings.h"
#include "image_nodes.h"
#include "kvbase/files/image_files.h"
#include "library_call.h"

namespace kvpy {

namespace {

using namespace pybind11::literals;

// The pixel types that KLoadImage and KSaveImage take; the other kinds are refused by the members.
template <typename T>
constexpr bool kHasFiles =
    std::is_same_v<T, int> || std::is_same_v<T, unsigned char> || std::is_same_v<T, unsigned short> ||
    std::is_same_v<T, KC15> || std::is_same_v<T, KC16> || std::is_same_v<T, KC24>;

// str, bytes or os.PathLike, as the file system spells it (os.fsencode).
std::string FileSystemPath(const py::object& path) {
  std::string encoded = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
  if (encoded.find('\0') != std::string::npos) throw py::value_error("a path cannot hold a NUL character");
  return encoded;
}

struct LoadedImage {
  const KPixelKind* kind = nullptr;
  std::unique_ptr<KGenericROI> image;
  short format = K_FILE_FORMAT_AUTO;
};

LoadedImage LoadAs(const KPixelKind& kind, const char* path) {
  LoadedImage loaded{&kind, MakeImage(kind, 0, 0)};
  VisitKind(kind, [&](auto pixel) {
    using T = decltype(pixel);
    KImage<T>* image = static_cast<KImage<T>*>(loaded.image.get());
    if constexpr (kHasFiles<T>) {
      KLoadImage(image, path, loaded.format);
    } else {
      loaded.format = static_cast<short>(image->Load(path));  // refused: this kind has no files
    }
  });
  return loaded;
}

// Codes that say "this file is fine, but not for this kind of image".
bool IsKindMismatch(K_ERRORS code) {
  switch (code) {
    case K_ERROR_BILEVEL_IMAGE_EXPECTED:
    case K_ERROR_GRAY_IMAGE_EXPECTED:
    case K_ERROR_COLOR_IMAGE_EXPECTED:
    case K_ERROR_UNSUPPORTED_TIFF_FORMAT:
    case K_ERROR_UNSUPPORTED_BMP_FORMAT:
    case K_ERROR_UNSUPPORTED_JPEG_FORMAT: return true;
    default: return false;
  }
}

// kvtool's rule: the first of BW1, BW8, BW16, C24, C16, C15 that takes the file. A failure of another
// sort than a kind mismatch ends the search; when every kind refuses, the current error and traces are
// those of the first refusal.
LoadedImage LoadAnyKind(const char* path) {
  K_ERRORS firstMismatch = K_SUCCESS;
  std::vector<std::string> mismatchTraces;
  for (const KPixelKind* kind : {&K_PIXEL_KIND_BW1, &K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16, &K_PIXEL_KIND_C24,
                                 &K_PIXEL_KIND_C16, &K_PIXEL_KIND_C15}) {
    KOk();
    ThreadTraces().clear();
    LoadedImage loaded = LoadAs(*kind, path);
    const K_ERRORS result = KGetError();
    if (result == K_SUCCESS || !IsKindMismatch(result)) return loaded;
    if (firstMismatch == K_SUCCESS) {
      firstMismatch = result;
      mismatchTraces = ThreadTraces();
    }
  }
  KSetError(firstMismatch);
  ThreadTraces() = mismatchTraces;
  return {};
}

ImageObject Load(const py::object& path, const py::object& kind) {
  const std::string file = FileSystemPath(path);
  const KPixelKind* chosen = kind.is_none() ? nullptr : &KindOf(kind);
  LoadedImage loaded =
      CallReleased([&] { return chosen != nullptr ? LoadAs(*chosen, file.c_str()) : LoadAnyKind(file.c_str()); });
  auto node = NewImageNode(*loaded.kind, std::move(loaded.image));
  node->format = loaded.format;
  return ImageObject{{node}};
}

template <typename T>
void SaveTyped(Node& node, const char* path, short format) {
  if constexpr (std::is_same_v<T, int>) {
    // BW1 files are written from images only.
    if (node.IsImage()) return (void)KSaveImage(node.AsImage<int>(), path, format);
  } else if constexpr (kHasFiles<T>) {
    return (void)KSaveImage(node.As<T>(), path, format);
  }
  // Refused by the members, with their own trace names: this kind has no files.
  if (node.IsImage())
    node.AsImage<T>()->Save(path, static_cast<IMAGE_FILE_TYPES>(format));
  else
    node.As<T>()->Save(path, static_cast<IMAGE_FILE_TYPES>(format));
}

void Save(GenericROIObject& self, const py::object& path, std::optional<long long> format) {
  const std::string file = FileSystemPath(path);
  const long long code = format.value_or(K_FILE_FORMAT_AUTO);
  if (code < SHRT_MIN || code > SHRT_MAX) throw py::value_error("a format code lies within -32768 to 32767");
  Node& node = *self.node;
  CallReleased([&] {
    TreeLock lock({&node.TreeMutex()});
    VisitKind(*node.kind,
              [&](auto pixel) { SaveTyped<decltype(pixel)>(node, file.c_str(), static_cast<short>(code)); });
  });
}

// The settings take unsigned ints; a negative or larger number is a ValueError, not a wrapped one.
template <void (*Setter)(unsigned int)>
void DefineSetting(py::module_& m, const char* name, const char* doc) {
  m.def(
      name,
      [](long long value) {
        if (value < 0 || value > UINT_MAX) throw py::value_error("the setting lies within 0 to 4294967295");
        Call([&] { Setter(static_cast<unsigned int>(value)); });
      },
      "value"_a, doc);
}

void DefineFormatCodes(py::module_& m) {
  const std::pair<const char*, int> codes[] = {
      {"FILE_FORMAT_TIFF_BILEVEL", K_FILE_FORMAT_TIFF_BILEVEL},
      {"FILE_FORMAT_TIFF_GRAY", K_FILE_FORMAT_TIFF_GRAY},
      {"FILE_FORMAT_TIFF_COLOR", K_FILE_FORMAT_TIFF_COLOR},
      {"FILE_FORMAT_TIFF_BILEVEL_PACKBITS", K_FILE_FORMAT_TIFF_BILEVEL_PACKBITS},
      {"FILE_FORMAT_TIFF_GRAY_PACKBITS", K_FILE_FORMAT_TIFF_GRAY_PACKBITS},
      {"FILE_FORMAT_TIFF_COLOR_PACKBITS", K_FILE_FORMAT_TIFF_COLOR_PACKBITS},
      {"FILE_FORMAT_BMP_BILEVEL", K_FILE_FORMAT_BMP_BILEVEL},
      {"FILE_FORMAT_BMP_GRAY", K_FILE_FORMAT_BMP_GRAY},
      {"FILE_FORMAT_BMP_COLOR", K_FILE_FORMAT_BMP_COLOR},
      {"FILE_FORMAT_JPEG_BILEVEL", K_FILE_FORMAT_JPEG_BILEVEL},
      {"FILE_FORMAT_JPEG_GRAY", K_FILE_FORMAT_JPEG_GRAY},
      {"FILE_FORMAT_JPEG_COLOR", K_FILE_FORMAT_JPEG_COLOR},
      {"FILE_FORMAT_AUTO", K_FILE_FORMAT_AUTO},
      {"FILE_FORMAT_PNG_BILEVEL", K_FILE_FORMAT_PNG_BILEVEL},
      {"FILE_FORMAT_PNG_GRAY", K_FILE_FORMAT_PNG_GRAY},
      {"FILE_FORMAT_PNG_COLOR", K_FILE_FORMAT_PNG_COLOR},
      {"FILE_FORMAT_TIFF_GRAY_DEFLATE", K_FILE_FORMAT_TIFF_GRAY_DEFLATE},
      {"FILE_FORMAT_TIFF_COLOR_DEFLATE", K_FILE_FORMAT_TIFF_COLOR_DEFLATE},
      {"FILE_FORMAT_TIFF_GRAY_LZW", K_FILE_FORMAT_TIFF_GRAY_LZW},
      {"FILE_FORMAT_TIFF_COLOR_LZW", K_FILE_FORMAT_TIFF_COLOR_LZW},
  };
  for (const auto& [name, code] : codes) m.attr(name) = code;
}

}  // namespace

void RegisterFiles(py::module_& m) {
  DefineFormatCodes(m);
  m.def("load", &Load, "path"_a, "kind"_a = py::none(),
        "Loads an image file (BMP, TIFF, JPEG, PNG; the container is recognised from its first bytes). Without "
        "kind, the first of BW1, BW8, BW16, C24, C16, C15 that takes the file. The image's format is the file's "
        "format code.");
  py::reinterpret_borrow<py::class_<GenericROIObject>>(m.attr("GenericROI"))
      .def("save", &Save, "path"_a, "format"_a = py::none(),
           "Saves the pixels with a format code (FILE_FORMAT_...); None chooses by the extension: .bmp, .tif, "
           ".jpg, .png.");
  DefineSetting<KSetJpegQuality>(m, "set_jpeg_quality", "JPEG quality of later saves (default 50).");
  DefineSetting<KSetTiffThreshold>(m, "set_tiff_threshold",
                                   "Gray level at and above which bilevel TIFF saves of BW8 write a set bit "
                                   "(low 8 bits kept; default 128).");
  DefineSetting<KSetTiffStripSize>(m, "set_tiff_strip_size",
                                   "Bytes per TIFF strip; 0 writes one strip (default 8192).");
  DefineSetting<KSetPngCompressionLevel>(m, "set_png_compression_level",
                                         "zlib level of PNG saves, 0 to 9; larger counts as 9 (default 6).");
}

}  // namespace kvpy
