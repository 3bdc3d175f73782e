// Image files: kvbase.load, GenericROI.save and the process-wide file settings. Loads and saves run
// with the interpreter lock released.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/mman.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
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
  std::shared_ptr<void> memory;  // the pixels, when they were allocated before the load
  std::unique_ptr<KGenericROI> image;
  short format = K_FILE_FORMAT_AUTO;
};

// The size of a file's pixels, from its headers, when they take no more bytes than the file itself (as
// in uncompressed files, whose rows are copied straight in). Otherwise 0 x 0, and the load allocates.
struct PlainSize {
  int width = 0, height = 0;
};

PlainSize PlainSizeOf(const char* path) {
  KImageFileInfo info{};
  PlainSize size;
  struct stat file {};
  if (stat(path, &file) == 0 && KGetImageFileInfo(path, &info) == K_SUCCESS &&
      static_cast<double>(info.width) * info.height * info.samplesPerPixel * info.bitsPerSample / 8 <=
          static_cast<double>(file.st_size))
    size = {info.width, info.height};
  // Asking is not part of the load: its error and traces are forgotten.
  KOk();
  ThreadTraces().clear();
  return size;
}

// Pixel memory on huge pages where the system gives them: a load from the page cache is a copy, and
// with 4 KiB pages most of its time goes to page faults (12288 of them for 48 MiB, 24 with 2 MiB pages).
std::shared_ptr<void> AllocatePixels(size_t bytes) {
  constexpr size_t kHugePage = size_t{2} << 20;
  const size_t alignment = bytes >= kHugePage ? kHugePage : 64;
  const size_t rounded = (bytes + alignment - 1) / alignment * alignment;
  void* block = nullptr;
  if (rounded == 0 || posix_memalign(&block, alignment, rounded) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  if (alignment == kHugePage) madvise(block, rounded, MADV_HUGEPAGE);
#endif
  return std::shared_ptr<void>(block, std::free);
}

// Lends the image memory of the file's size: the load then finds the image at the right size and reads
// into it. A file that proves to have another size makes the load allocate as usual.
template <typename T>
void PresizeForLoad(KImage<T>& image, const KPixelKind& kind, PlainSize size, LoadedImage& loaded) {
  if (size.width <= 0 || size.height <= 0) return;
  const size_t rowBytes = (static_cast<size_t>(size.width) * static_cast<size_t>(kind.bitsPerPixel) + 31) / 32 * 4;
  if (rowBytes * 8 > static_cast<size_t>(INT_MAX)) return;
  loaded.memory = AllocatePixels(rowBytes * static_cast<size_t>(size.height));
  if (loaded.memory != nullptr) image.SetImagePtr(size.width, size.height, loaded.memory.get(), 0);
}

LoadedImage LoadAs(const KPixelKind& kind, const char* path, PlainSize size) {
  LoadedImage loaded{&kind, nullptr, MakeImage(kind, 0, 0)};
  VisitKind(kind, [&](auto pixel) {
    using T = decltype(pixel);
    KImage<T>* image = static_cast<KImage<T>*>(loaded.image.get());
    PresizeForLoad(*image, kind, size, loaded);
    if constexpr (kHasFiles<T>) {
      KLoadImage(image, path, loaded.format);
    } else {
      loaded.format = static_cast<short>(image->Load(path));  // refused: this kind has no files
    }
  });
  return loaded;
}

// kvtool's rule: the first of BW1, BW8, BW16, C24, C16, C15 that takes the file. A failure of another
// sort than a kind mismatch ends the search; when every kind refuses, the current error and traces are
// those of the first refusal.
LoadedImage LoadAnyKind(const char* path, PlainSize size) {
  K_ERRORS firstMismatch = K_SUCCESS;
  std::vector<std::string> mismatchTraces;
  for (const KPixelKind* kind : {&K_PIXEL_KIND_BW1, &K_PIXEL_KIND_BW8, &K_PIXEL_KIND_BW16, &K_PIXEL_KIND_C24,
                                 &K_PIXEL_KIND_C16, &K_PIXEL_KIND_C15}) {
    KOk();
    ThreadTraces().clear();
    LoadedImage loaded = LoadAs(*kind, path, size);
    const K_ERRORS result = KGetError();
    if (result == K_SUCCESS || !KIsKindMismatch(result)) return loaded;
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
  LoadedImage loaded = CallReleased([&] {
    const PlainSize size = PlainSizeOf(file.c_str());
    return chosen != nullptr ? LoadAs(*chosen, file.c_str(), size) : LoadAnyKind(file.c_str(), size);
  });
  auto node = NewImageNode(*loaded.kind, std::move(loaded.image));
  node->pixelMemory = std::move(loaded.memory);
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

void Save(const py::handle& self, const py::object& path, std::optional<long long> format) {
  Node& node = NodeOf(self, "self");
  const std::string file = FileSystemPath(path);
  const long long code = format.value_or(K_FILE_FORMAT_AUTO);
  if (code < SHRT_MIN || code > SHRT_MAX) throw py::value_error("a format code lies within -32768 to 32767");
  CallLocked({&node.TreeMutex()}, [&] {
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
